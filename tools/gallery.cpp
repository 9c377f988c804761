// Writes a picture of every widget of the interface kit, in its states, into a folder,
// then pictures of a playing GIF tile and a playing movie tile at a few moments, of the
// autosuggest strip and the search screen's empty state, of the trending grid playing its
// tiles with media from a stand-in on loopback, of the account screens, and of the upload
// screen empty and with two GIFs staged:
//   gallery [folder]   (build/gallery by default)

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "account/screens/LoginSignupViewController.h"
#include "collections/UploadIntake.h"
#include "account/screens/TermsOfServiceViewController.h"
#include "app/RootViewController.h"
#include "browse/AutosuggestCollectionViewController.h"
#include "browse/GifCollectionViewController.h"
#include "browse/SearchViewController.h"
#include "collections/CreateCollectionViewController.h"
#include "collections/UploadTaggerCell.h"
#include "collections/UploadViewController.h"
#include "platform/appkit/MenuRenderer.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "service/VNStreamRequester.h"
#include "standin/GifMaker.h"
#include "standin/MovieMaker.h"
#include "standin/StandinServer.h"
#include "ui/WidgetGallery.h"

namespace {
// An open menu with each kind of row: enabled and disabled items, a checked one, a key
// equivalent, a separator and a submenu.
std::expected<std::filesystem::path, std::shared_ptr<NSError>> writeOpenMenu(const std::filesystem::path& folder) {
  auto menu = NSMenu::make();
  menu->autoenablesItems = false;
  menu->addItemWithTitle("Version: 2.4", "", "")->setEnabled(false);
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItemWithTitle("Copy Link", "copyLink", "l");
  menu->addItemWithTitle("Loop Previews", "toggleLoop:", "")->state = NSControlStateValueOn;
  menu->addItem(NSMenuItem::separatorItem());
  auto packs = NSMenu::make();
  packs->addItemWithTitle("Cats", "addToCollectionClicked:", "");
  menu->addItemWithTitle("Add to Pack", "", "")->setSubmenu(packs);
  menu->popUpMenuPositioningItem(nullptr, {200, 600}, nullptr);
  auto path = folder / "menu-open.png";
  auto written = MenuRenderer::writeMenuPNG(NSMenu::openMenu(), path, 2.0);
  menu->cancelTracking();
  if (!written) return std::unexpected(written.error());
  return path;
}

using Written = std::expected<std::vector<std::filesystem::path>, std::shared_ptr<NSError>>;

// The tile at each moment, as "<name>-<milliseconds>ms.png", on the manual clock.
Written writeMoments(const std::shared_ptr<NSView>& tile, const std::string& name, const std::filesystem::path& folder,
                     ManualClock& clock) {
  std::vector<std::filesystem::path> written;
  double at = 0;
  for (double moment : {0.0, 0.1, 0.2, 0.3}) {
    clock.advance(moment - at);
    at = moment;
    auto path = folder / (name + "-" + std::to_string(int(moment * 1000)) + "ms.png");
    auto result = ViewTreeRenderer::writeViewPNG(tile, path, 2.0);
    if (!result) return std::unexpected(result.error());
    written.push_back(path);
  }
  return written;
}

Written writeMediaTiles(const std::filesystem::path& folder) {
  auto clock = std::make_shared<ManualClock>();
  Clock::setCurrent(clock);
  std::vector<std::filesystem::path> written;
  auto fail = [](std::string text) { return std::unexpected(NSError::make("GalleryErrorDomain", 1, std::move(text))); };

  GifMaker::Look look{.width = 120, .height = 90, .frames = 4, .rgb = 0x3366cc, .loop = true};
  std::string gifBytes = GifMaker::animated(look);
  auto gif = NSImage::initWithData(NSData::make(std::vector<std::uint8_t>(gifBytes.begin(), gifBytes.end())));
  if (!gif) return std::unexpected(gif.error());
  auto gifTile = NSImageView::initWithFrame(NSMakeRect(0, 0, 120, 90));
  gifTile->setImageScaling(NSImageScaling::axesIndependently);
  gifTile->setImage(*gif);
  auto gifPictures = writeMoments(gifTile, "media-gif-tile", folder, *clock);
  if (!gifPictures) return gifPictures;
  written.insert(written.end(), gifPictures->begin(), gifPictures->end());

  auto movie = MovieMaker::tinyMovie(look);
  if (!movie) return fail("no movie: " + movie.error());
  auto moviePath = folder / "media-movie-tile.mp4";
  std::ofstream(moviePath, std::ios::binary) << *movie;
  auto movieTile = NSView::initWithFrame(NSMakeRect(0, 0, 120, 90));
  movieTile->setWantsLayer(true);
  auto layer = AVPlayerLayer::layer();
  layer->setFrame(movieTile->layer()->bounds());
  layer->setVideoGravity(AVLayerVideoGravityResize);
  movieTile->layer()->addSublayer(layer);
  auto player = AVPlayer::initWithURL(NSURL::fileURLWithPath(moviePath.string()));
  player->volume = 0;
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  layer->setPlayer(player);
  player->play();
  auto moviePictures = writeMoments(movieTile, "media-movie-tile", folder, *clock);
  std::filesystem::remove(moviePath);
  if (!moviePictures) return moviePictures;
  written.insert(written.end(), moviePictures->begin(), moviePictures->end());
  Clock::setCurrent(nullptr);
  return written;
}

// The upload screen at its start and with two GIFs of the folder staged, one of them tagged.
Written writeUploadScreen(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  auto screen = UploadViewController::init();
  screen->reset();
  auto write = [&](const std::string& name) -> std::expected<void, std::shared_ptr<NSError>> {
    auto path = folder / (name + ".png");
    auto result = ViewTreeRenderer::writeViewPNG(screen->view(), path, 2.0);
    if (!result) return std::unexpected(result.error());
    written.push_back(path);
    return {};
  };
  if (auto done = write("upload-start"); !done) return std::unexpected(done.error());
  // What a drop of pictures of other kinds, large files and a file gone meanwhile says: more
  // than its line holds, so some names of a reason are counted instead.
  using Reason = VornObject::LocalGifRefusal;
  std::vector<UploadIntake::Refusal> refused;
  for (int i = 1; i <= 9; ++i) refused.push_back({Reason::notGif, "holiday photo " + std::to_string(i) + ".png"});
  refused.push_back({Reason::tooLarge, "screen recording.gif"});
  refused.push_back({Reason::missing, "late.gif"});
  refused.push_back({Reason::tooLarge, "another recording.gif"});
  screen->didRefuseDroppedItems(refused);
  if (auto done = write("upload-refused"); !done) return std::unexpected(done.error());
  screen->didRefuseDroppedItems({});
  std::vector<std::shared_ptr<VornObject>> staged;
  for (std::uint32_t rgb : {0x3366ccu, 0xcc6633u}) {
    GifMaker::Look look{.width = 60, .height = 60, .frames = 2, .rgb = rgb, .loop = true};
    auto path = folder / ("upload-staged-" + std::to_string(rgb) + ".gif");
    std::ofstream(path, std::ios::binary) << GifMaker::animated(look);
    staged.push_back(VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath(path.string()), std::nullopt, nullptr, false));
  }
  screen->didDragGifsWithVorns(staged);
  screen->stagedUploads()[0]->tags = {"cat", "dog"};
  screen->reload();
  // The previews are read and decoded away from the main thread: the picture shows them.
  auto list = screen->stagedUploadsCollectionView.lock();
  list->layoutSubtreeIfNeeded();
  NSRunLoop::main()->runUntil([&] {
    for (std::size_t index = 0; index < staged.size(); ++index) {
      auto row = std::dynamic_pointer_cast<UploadTaggerCell>(list->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
      auto preview = row ? row->gif.lock() : nullptr;
      if (!preview || !preview->image()) return false;
    }
    return true;
  }, 10.0);
  auto pictured = write("upload-tagging");
  for (const auto& vorn : staged) std::filesystem::remove(NSURL::URLWithString(vorn->tinyGifUrl)->path());
  if (!pictured) return std::unexpected(pictured.error());
  return written;
}

// The create-pack form at its start and after Create with no name (which touches no store).
Written writeCreatePackForm(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  auto form = CreateCollectionViewController::init();
  form->reset();
  auto write = [&](const std::string& name) -> std::expected<void, std::shared_ptr<NSError>> {
    auto path = folder / (name + ".png");
    auto result = ViewTreeRenderer::writeViewPNG(form->view(), path, 2.0);
    if (!result) return std::unexpected(result.error());
    written.push_back(path);
    return {};
  };
  if (auto done = write("create-pack-start"); !done) return std::unexpected(done.error());
  form->didTapCreate(nullptr);
  if (auto done = write("create-pack-error"); !done) return std::unexpected(done.error());
  return written;
}

// The account screens at the size of the panel they lie over: the form in both modes and
// with a failed log-in's message, and the terms screen in its three layouts. The terms
// screens cannot be dismissed here, so that drawing them counts no showing in the user's
// defaults.
Written writeAccountScreens(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  auto draw = [&](const std::shared_ptr<NSView>& view, const std::string& name) -> bool {
    view->setFrame({NSZeroPoint, RootViewController::panelSize});
    view->setNeedsLayout(true);
    view->layoutSubtreeIfNeeded();
    auto path = folder / (name + ".png");
    if (!ViewTreeRenderer::writeViewPNG(view, path, 2.0)) return false;
    written.push_back(path);
    return true;
  };
  auto fail = [](const std::string& name) {
    return std::unexpected(NSError::make("GalleryErrorDomain", 2, "could not draw " + name));
  };
  auto form = LoginSignupViewController::init();
  if (!draw(form->view(), "account-login")) return fail("account-login");
  form->showError("Incorrect username or password.", AuthenticationInputType::username);
  if (!draw(form->view(), "account-login-failed")) return fail("account-login-failed");
  form->tappedToggleStateButton(nullptr);
  if (!draw(form->view(), "account-signup")) return fail("account-signup");
  form->validateInput();
  if (!draw(form->view(), "account-signup-empty")) return fail("account-signup-empty");
  using Layout = TermsOfServiceViewController::PresentationLayout;
  for (auto layout : {Layout::normal, Layout::blocker, Layout::welcome}) {
    const auto name = "account-terms-" + std::string(TermsOfServiceViewController::rawValue(layout));
    if (!draw(TermsOfServiceViewController::init(layout, true, false)->view(), name)) return fail(name);
  }
  return written;
}

// Screens in states that need no service: the autosuggest strip with three terms, the
// second selected, and the search screen after a search that found nothing.
Written writeScreens(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> written;
  auto strip = AutosuggestCollectionViewController::make();
  strip->view()->setFrame(NSMakeRect(0, 0, 360, 195));
  strip->currentTerms = {"cats", "cat memes", "cat fail"};
  auto list = strip->collectionView.lock();
  list->enclosingScrollView()->setFrame(strip->view()->bounds());
  list->reloadData();
  list->setSelectionIndexes(NSIndexSet::indexSetWithIndex(1));
  auto search = SearchViewController::make();
  search->loadViewIfNeeded();
  search->didRetrieveEmptyContentList();
  for (const auto& [view, name] : {std::pair{strip->view(), "screen-autosuggest.png"},
                                   std::pair{search->view(), "screen-search-no-results.png"}}) {
    auto path = folder / name;
    auto result = ViewTreeRenderer::writeViewPNG(view, path, 2.0);
    if (!result) return std::unexpected(result.error());
    written.push_back(path);
  }
  return written;
}

// The trending grid once every tile on screen plays, with its media and caches in a folder
// of its own that is removed afterwards.
Written writeGrid(const std::filesystem::path& folder) {
  auto fail = [](std::string text) { return std::unexpected(NSError::make("GalleryErrorDomain", 3, std::move(text))); };
  auto home = std::filesystem::temp_directory_path() / ("glimdeck-gallery-" + std::to_string(::getpid()));
  for (auto [name, sub] : {std::pair{"XDG_CACHE_HOME", ".cache"}, {"XDG_DATA_HOME", ".local/share"},
                           {"XDG_CONFIG_HOME", ".config"}}) {
    std::filesystem::create_directories(home / sub);
    setenv(name, (home / sub).c_str(), 1);
  }
  auto clock = std::make_shared<ManualClock>();
  Clock::setCurrent(clock);
  auto standin = StandinServer::make();
  if (auto started = standin->start(0); !started) return fail("no stand-in: " + started.error());
  setenv("GLIMDECK_SERVICE_URL", standin->baseURL().c_str(), 1);

  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 400), NSWindowStyleMaskTitled);
  auto grid = GifCollectionViewController::init();
  window->contentView()->addSubview(grid->view());
  grid->requester = VNStreamRequester::getForTrendingContent();
  grid->reload();
  auto playing = [&] {
    auto tiles = grid->mainCollectionView.lock()->visibleItems();
    return !grid->fetchLock() && !tiles.empty() && std::ranges::all_of(tiles, [](const auto& item) {
      auto cell = std::dynamic_pointer_cast<GifCell>(item);
      return cell && (cell->movieLayer->player() || cell->gif.lock()->image());
    });
  };
  bool loaded = NSRunLoop::main()->runUntil(playing, 30.0);
  Written written = std::vector<std::filesystem::path>{};
  if (!loaded) {
    written = fail("the grid's tiles did not play within 30 seconds");
  } else {
    clock->advance(3.0);  // the progress pies have run out
    written = writeMoments(grid->view(), "grid-trending-playing", folder, *clock);
  }
  grid->reset();
  standin->stop();
  Clock::setCurrent(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder = argc > 1 ? argv[1] : "build/gallery";
  NSApplication::sharedApplication();
  for (auto written : {WidgetGallery::writeAll(folder), writeMediaTiles(folder), writeScreens(folder),
                        writeGrid(folder), writeAccountScreens(folder), writeUploadScreen(folder),
                        writeCreatePackForm(folder)}) {
    if (!written) {
      std::fprintf(stderr, "gallery: %s\n", written.error()->localizedDescription().c_str());
      return 1;
    }
    for (const auto& path : *written) std::printf("%s\n", path.string().c_str());
  }
  auto menu = writeOpenMenu(folder);
  if (!menu) {
    std::fprintf(stderr, "gallery: %s\n", menu.error()->localizedDescription().c_str());
    return 1;
  }
  std::printf("%s\n", menu->string().c_str());
  return 0;
}
