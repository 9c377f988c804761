#pragma once
// The create-pack overlay of the panel: a card with a name field, Create and Cancel. Create
// makes a user pack of the trimmed name through the collection manager, which also sends it
// to the service; an empty name or one that a collection already has shows the error line
// instead. The owner lays the form over the panel and fades it in; the form fades itself
// out when the owner asks and leaves the panel once it is invisible.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSViewController.h"

class QLXButton;

class CreateCollectionViewControllerDelegate {
 public:
  virtual ~CreateCollectionViewControllerDelegate() = default;
  virtual void collectionCreationSuccess() = 0;
  virtual void collectionCreationCancelled() = 0;
};

class CreateCollectionViewController : public NSViewController, public NSTextFieldDelegate {
 public:
  struct Constants {
    static constexpr std::string_view title = "New Pack";
    static constexpr std::string_view subtitle = "Give your new pack a name";
    static constexpr std::string_view namePlaceholder = "Pack name";
    static constexpr std::string_view createTitle = "CREATE";
    static constexpr std::string_view cancelTitle = "Cancel";
    static constexpr std::string_view emptyNameText = "Enter a name for your pack";
    static constexpr std::string_view duplicateNameText = "A pack with that name already exists";
    static constexpr std::string_view failureText = "The pack could not be created";
    // A typed or pasted name longer than InputLimits::packName.
    static constexpr std::string_view nameTooLongText = "Pack names can be at most 60 characters.";
    static constexpr std::string_view titleFont = "AvenirNext-Bold";
    static constexpr double titleSize = 25.0;
    static constexpr std::string_view regularFont = "AvenirNext-Regular";
    static constexpr double regularSize = 15.0;
    static constexpr std::string_view buttonFont = "AvenirNext-DemiBold";
    static constexpr double buttonSize = 15.0;
    static constexpr double borderWidth = 1.0;
    static constexpr double cardCornerRadius = 2.0;
    static constexpr double buttonCornerRadius = 3.0;
    static constexpr double fadeOutSeconds = 0.25;
  };

  static std::shared_ptr<CreateCollectionViewController> init() { return create(); }

  std::weak_ptr<CreateCollectionViewControllerDelegate> delegate;

  std::weak_ptr<NSView> containerView;
  std::weak_ptr<NSView> containerShadowView;
  std::weak_ptr<NSTextField> titleLabel;
  std::weak_ptr<NSTextField> subtitleLabel;
  std::weak_ptr<NSTextField> nameTextField;
  std::weak_ptr<NSTextField> errorLabel;
  std::weak_ptr<QLXButton> createButton;
  std::weak_ptr<QLXButton> cancelButton;

  void loadView() override;
  void awakeFromNib() override;

  // Empties the name field, hides the error line and makes the form usable again; in a
  // window the name field takes the keyboard.
  void reset();
  // Fades the form out; once the fade has ended the view leaves its superview (an invisible
  // overlay would still take the panel's clicks) and the callback runs.
  void closeViewWithCallback(std::function<void()> callback = nullptr);

  void didTapCreate(const std::shared_ptr<NSObject>& sender);
  void didTapCancel(const std::shared_ptr<NSObject>& sender);

  // The name field: typing hides the error, Return creates, Escape cancels.
  void controlTextDidChange(const std::shared_ptr<NSNotification>& notification) override;
  bool control(const std::shared_ptr<NSControl>& control, const std::shared_ptr<NSTextView>& textView,
               std::string_view doCommandBySelector) override;
  // A name that did not fit: the field keeps what fitted and the error line says why.
  void controlDidFailToValidatePartialString(const std::shared_ptr<NSControl>& control, std::string_view string,
                                             std::string_view errorDescription) override;

  GLIMDECK_OBJECT(CreateCollectionViewController)

 private:
  CreateCollectionViewController() = default;
  void showError(std::string_view text);

  // Set once a pack is made: a second Create during the fade-out would meet the new pack's
  // name and flash a duplicate error over a form that succeeded.
  bool created_ = false;
};
