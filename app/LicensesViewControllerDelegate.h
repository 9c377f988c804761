#pragma once
// Told when the user closes the licence page; the root panel takes the page away.

class LicensesViewControllerDelegate {
 public:
  virtual ~LicensesViewControllerDelegate() = default;
  virtual void licensesInterfaceDidRequestClose() {}
};
