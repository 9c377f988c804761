#include "browse/TitledStreamController.h"

#include "browse/ShareReporting.h"
#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "platform/foundation/NSOperationQueue.h"
#include "service/PlovexAnalytics.h"
#include "ui/NSViewExtensions.h"

std::shared_ptr<TitledStreamController> TitledStreamController::initWithNibName(std::string nibName) {
  registerInterface();
  return create(nibName.empty() ? std::string(Constants::interfaceName) : std::move(nibName));
}

void TitledStreamController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      const auto frame = NSMakeRect(0, 0, 360, 420);
      auto root = NSView::initWithFrame(frame);
      // Opened over another screen, it hides that screen whole rather than letting it show
      // between its own tiles.
      setConvenientBackgroundColor(*root, NSColor::whiteColor());
      std::weak_ptr<TitledStreamController> screen = asA<TitledStreamController>(owner);
      auto back = NSButton::buttonWithTitle(std::string(Constants::backTitle), [screen](const std::shared_ptr<NSObject>& sender) {
        if (auto self = screen.lock()) self->didTapBack(sender);
      });
      back->setFrame(NSMakeRect(10, 384, 60, 28));
      back->autoresizingMask = NSViewMinYMargin;
      auto title = NSTextField::labelWithString("");
      title->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 17));
      title->setAlignment(NSTextAlignment::center);
      title->setFrame(NSMakeRect(80, 386, 200, 24));
      title->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin;
      auto container = NSView::initWithFrame(NSMakeRect(0, 0, 360, 376));
      container->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      root->addSubview(container);
      root->addSubview(back);
      root->addSubview(title);
      if (auto self = screen.lock()) {
        self->setView(root);
        self->titleLabel = title;
        self->contentContainer = container;
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}

namespace {
const bool titledStreamInterfaceRegistered = (TitledStreamController::registerInterface(), true);
}  // namespace

void TitledStreamController::viewDidLoad() {
  NSViewController::viewDidLoad();
  contentCollectionView->delegate = sharedAs<TitledStreamController>();
  auto container = contentContainer.lock();
  auto grid = contentCollectionView->view();
  container->addSubview(grid);
  grid->translatesAutoresizingMaskIntoConstraints = false;
  for (auto attribute : {NSLayoutAttribute::centerX, NSLayoutAttribute::centerY, NSLayoutAttribute::width,
                         NSLayoutAttribute::height}) {
    container->addConstraint(NSLayoutConstraint::constraintWithItem(grid, attribute, NSLayoutRelation::equal, container,
                                                                    attribute, 1.0, 0.0));
  }
  // Those four records say the grid fills the container; the container places it so.
  container->layoutHandler = [weak = std::weak_ptr<NSView>(grid)](NSView& view) {
    if (auto placed = weak.lock()) placed->setFrame(view.bounds());
  };
  grid->setFrame(container->bounds());
}

void TitledStreamController::configureWithCollection(const std::shared_ptr<Collection>& collection) {
  if (!collection) return;
  loadViewIfNeeded();
  const auto name = collection->name();
  titleLabel.lock()->setStringValue(name);
  contentCollectionView->reset();
  const auto type = collection->specialCollectionType();
  if (type == 1 || type == 4 || type == 5) {
    auto& main = contentCollectionView->contentList[contentCollectionView->mainContentDisplaySection];
    for (const auto& vorn : collection->vorns()) main.push_back(vorn);
    contentCollectionView->reload();
    return;
  }
  auto requester = collection->constructStreamRequester();
  requester->collectionDelegate = std::static_pointer_cast<VNRequesterCollectionDelegate>(sharedAs<TitledStreamController>());
  requester->collectionName = name;
  contentCollectionView->requester = requester;
  contentCollectionView->reload();
}

void TitledStreamController::didTapBack(const std::shared_ptr<NSObject>& /*sender*/) {
  view()->removeFromSuperview();
  if (auto listener = delegate.lock()) listener->didTapBack();
}

void TitledStreamController::unload() { contentCollectionView->unload(); }

void TitledStreamController::restore() { contentCollectionView->restore(); }

StringDictionary TitledStreamController::getAnalyticsParametersWithVorn(const std::shared_ptr<VornObject>& vorn) const {
  StringDictionary parameters{{std::string(PlovexAnalytics::Constants::category), std::string(Constants::category)}};
  if (vorn) parameters[std::string(PlovexAnalytics::Constants::vornIDKey)] = vorn->vid;
  return parameters;
}

void TitledStreamController::cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) {
  auto vorn = asA<VornObject>(object);
  if (!vorn) return;
  ShareReporting::logShare(getAnalyticsParametersWithVorn(vorn), *vorn);
  ShareReporting::copyAndConfirm(vorn, cell);
}

void TitledStreamController::usernameTapped(const std::string& username) {
  if (auto listener = usernameClickDelegate.lock()) listener->didTapUsernameLabel(username);
}

void TitledStreamController::didRetrieveContentWithContent(const VNRequester::Content& content) {
  if (auto listener = touchBarDelegate.lock()) listener->fetchedContent(content);
}

void TitledStreamController::didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type,
                                                                   const std::shared_ptr<VornObject>& vorn) {
  if (vorn) ShareReporting::logShare(getAnalyticsParametersWithVorn(vorn), *vorn, type);
}

void TitledStreamController::didFetchWithContent(const VNRequester::Content& content, const std::string& collectionName) {
  std::vector<std::shared_ptr<VornObject>> fetched;
  for (const auto& object : content)
    if (auto vorn = asA<VornObject>(object)) fetched.push_back(vorn);
  NSOperationQueue::mainQueue()->addOperationWithBlock([fetched = std::move(fetched), collectionName] {
    if (auto stored = CollectionManager::sharedInstance()->getCollection(collectionName)) stored->synchronizeVorns(fetched);
  });
}
