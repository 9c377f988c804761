#pragma once
// The full-panel consent screen that asks a signed-in user to accept updated terms of service
// and privacy policy. Its owner picks the layout and the two flags, becomes its delegate and
// decides what acceptance, refusal and closing mean; the screen calls no account service and
// never removes itself. Every action is reported as an analytics event.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSViewController.h"
#include "service/PlovexAnalytics.h"
#include "ui/CheckBoxControl.h"

class CAGradientLayer;
class NSLayoutConstraint;
class QLXButton;
class QLXLabel;
class TermsOfServiceViewController;

class TermsOfServiceViewControllerDelegate {
 public:
  virtual ~TermsOfServiceViewControllerDelegate() = default;
  virtual void didDismissTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) = 0;
  virtual void didAcceptTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) = 0;
  virtual void didDeclineTOSWithTosController(const std::shared_ptr<TermsOfServiceViewController>& tosController) = 0;
};

class TermsOfServiceViewController : public NSViewController,
                                     public CheckBoxControlDelegate,
                                     public NSTextViewDelegate {
 public:
  enum class PresentationLayout { normal, blocker, welcome };
  static std::string_view rawValue(PresentationLayout layout);
  // Exactly "normal", "blocker" or "welcome"; anything else is no layout.
  static std::optional<PresentationLayout> presentationLayoutWithRawValue(std::string_view raw);

  enum class TOSAcceptanceState { initial, denialConfirmation };

  struct Constants {
    static constexpr std::string_view interfaceName = "TermsOfServiceViewController";
    static constexpr std::string_view termsLinkWord = "Terms of Service";
    static constexpr std::string_view privacyLinkWord = "Privacy Policy";
    static constexpr std::string_view blockerLinkLine =
        "By continuing, you agree to Zolto's Terms of Service and Privacy Policy.";
    static constexpr double blockerLinkLineHeight = 49.0;
    static constexpr double blockerLinkLineWidth = 243.0;
    static constexpr double blockerLinkLineTop = 25.0;
    static constexpr std::string_view normalLinkLine = "View Terms of Service and Privacy Policy";
    static constexpr double normalLinkLineHeight = 26.0;
    static constexpr double normalLinkLineWidth = 310.0;
    static constexpr double normalLinkLineTop = 50.0;
    static constexpr double promptWidthInitial = 390.0;
    static constexpr double promptWidthWarning = 430.0;
    static constexpr double bottomCheckBoxHeightInitial = 25.0;
    static constexpr double bottomCheckBoxHeightWarning = 46.0;
    static constexpr double checkBoxBlockHeightInitial = 70.0;
    static constexpr double checkBoxBlockHeightWarning = 91.0;
    static constexpr std::string_view declineTitle = "Decline";
    static constexpr std::string_view confirmDeletionTitle = "Confirmed, delete my Zolto personal account information";
    static constexpr std::string_view initialPrompt = "We've updated our Terms of Service and Privacy Policy!";
    static constexpr double initialPromptFontSize = 24.0;
    static constexpr std::string_view warningPrompt =
        "If you don't accept by March 22, 2018, your account, login, and username will be deleted.";
    static constexpr double warningPromptFontSize = 18.0;
    static constexpr std::string_view promptFontName = "AvenirNext-Bold";
    static constexpr std::string_view okTitle = "OK";
    static constexpr double okFontSize = 20.0;
    static constexpr double okCornerRadius = 3.0;
    static constexpr std::string_view dismissalCounterKey = "termsOfServiceDismissal";
    static constexpr std::string_view infoKey = "info";
    static constexpr std::string_view acceptEvent = "tos_accept";
    static constexpr std::string_view rejectEvent = "tos_reject";
    static constexpr std::string_view declineEvent = "tos_decline";
    static constexpr std::string_view closeEvent = "tos_close";
    static constexpr std::string_view backEvent = "tos_back_tap";
    static constexpr std::string_view linkoutEvent = "tos_linkout_tap";
  };

  // Loads the interface "TermsOfServiceViewController" with the given layout and flags.
  static std::shared_ptr<TermsOfServiceViewController> init(PresentationLayout layout, bool requiresDenialConfirmation,
                                                            bool canBeDismissed);
  // The screen as an archive would make it: normal layout, both flags on.
  static std::shared_ptr<TermsOfServiceViewController> initWithCoder();

  // Outlets. The two containers are strong: they leave and re-enter the view tree.
  std::weak_ptr<QLXButton> backButton;
  std::weak_ptr<QLXButton> closeButton;
  std::weak_ptr<QLXLabel> errorLabel;
  std::weak_ptr<NSView> contentContainer;
  std::shared_ptr<NSView> actionUIContainer;
  std::weak_ptr<QLXLabel> promptLabel;
  std::weak_ptr<NSLayoutConstraint> promptLabelWidth;
  std::weak_ptr<NSTextView> tosClickOutTextView;
  std::weak_ptr<NSLayoutConstraint> tosClickOutHeight;
  std::weak_ptr<NSLayoutConstraint> tosClickOutWidth;
  std::weak_ptr<NSLayoutConstraint> tosClickOutTop;
  std::weak_ptr<CheckBoxControl> topCheckBox;
  std::weak_ptr<CheckBoxControl> bottomCheckBox;
  std::weak_ptr<NSLayoutConstraint> bottomCheckBoxHeight;
  std::weak_ptr<NSView> checkBoxContainer;
  std::weak_ptr<NSLayoutConstraint> checkBoxContainerHeight;
  std::shared_ptr<NSView> welcomeUIContainer;
  std::weak_ptr<QLXButton> welcomeTOSOKButton;
  std::weak_ptr<NSTextView> welcomeTOSClickOutTextView;

  PresentationLayout currentLayout() const { return currentLayout_; }
  TOSAcceptanceState currentState() const { return currentState_; }
  const std::shared_ptr<CAGradientLayer>& gradientLayer() const { return gradientLayer_; }
  // Takes effect at the next decline.
  bool requiresDenialConfirmation = true;
  // Takes effect when the view loads: the close button is shown.
  bool canBeDismissed = true;

  std::shared_ptr<TermsOfServiceViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<TermsOfServiceViewControllerDelegate>& delegate) { delegate_ = delegate; }

  // The parameters of every event: {"info": the layout's raw value}.
  PlovexAnalytics::EventData analyticsDict() const;

  void viewDidLoad() override;
  void viewDidLayout() override;

  void didTapClose(const std::shared_ptr<NSObject>& sender);
  void didTapBack(const std::shared_ptr<NSObject>& sender);
  void didTapCheckBoxWithFilled(bool filled, const std::shared_ptr<CheckBoxControl>& sender) override;
  bool textView(const std::shared_ptr<NSTextView>& textView, const std::shared_ptr<NSObject>& clickedOnLink,
                std::uint64_t atIndex) override;
  using NSTextViewDelegate::textView;
  void displayError();

  // Registers the builder of the interface (done once, on first use).
  static void registerInterface();

  GLIMDECK_OBJECT(TermsOfServiceViewController)

 protected:
  TermsOfServiceViewController();

 private:
  void acceptTapped();
  void declineTapped();
  bool openLink(const std::shared_ptr<NSObject>& link);
  void applyLayout(PresentationLayout layout);
  void configurePrompt(PresentationLayout layout);
  void configureActionUI(TOSAcceptanceState state);
  void configureClickOutText(NSTextView& textView);
  void configureWelcomeUI();
  void logEvent(std::string_view event) const;
  std::shared_ptr<TermsOfServiceViewController> self() { return sharedAs<TermsOfServiceViewController>(); }

  PresentationLayout currentLayout_ = PresentationLayout::normal;
  TOSAcceptanceState currentState_ = TOSAcceptanceState::initial;
  std::shared_ptr<CAGradientLayer> gradientLayer_;
  std::weak_ptr<TermsOfServiceViewControllerDelegate> delegate_;
};
