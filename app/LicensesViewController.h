#pragma once
// The page of licence texts of the open-source components: every licence of the bundle's
// list in one scrolling text, each closed by a separator line, in a rounded white box. Its
// view comes from the interface "LicensesViewController".

#include <memory>
#include <string>
#include <string_view>

#include "app/LicensesViewControllerDelegate.h"
#include "platform/appkit/NSViewController.h"

class NSButton;
class NSTextView;
class QLXView;

class LicensesViewController : public NSViewController {
 public:
  static std::shared_ptr<LicensesViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<LicensesViewController> make() { return initWithNibName({}); }

  struct Constants {
    static constexpr double cornerRadius = 3.0;
    static constexpr std::string_view fontName = "AvenirNext-Regular";
    static constexpr double fontSize = 14.0;
    // Two line feeds, 36 hyphens, "END LICENSE", 42 hyphens, two line feeds.
    static constexpr std::string_view licenseSeparator =
        "\n\n------------------------------------END LICENSE------------------------------------------\n\n";
    static constexpr std::string_view interfaceName = "LicensesViewController";
    static constexpr std::string_view closeTitle = "Close";
  };

  std::weak_ptr<QLXView> containerView;
  std::weak_ptr<NSTextView> licensesTextView;
  std::weak_ptr<NSButton> closeButton;
  std::weak_ptr<LicensesViewControllerDelegate> delegate;

  void awakeFromNib() override;
  // Fills the text view from the licence list (an empty page when there is none).
  void viewDidLoad() override;
  void didClickClose(const std::shared_ptr<NSObject>& sender);

  // Registers the builder of the interface "LicensesViewController".
  static void registerInterface();

  GLIMDECK_OBJECT(LicensesViewController)

 protected:
  using NSViewController::NSViewController;
};
