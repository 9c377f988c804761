// The upload screen through the simulator against the stand-in: staging from the open
// panel, drops and pasted addresses, tagging, the refused and the accepted upload, and the
// screen's look in each state.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <thread>

#include "collections/UploadIntake.h"
#include "model/InputLimits.h"
#include "platform/appkit/DragDestinationTracker.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSURLSession.h"
#include "service/AssetCache.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSTextView.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "standin/StandinResponse.h"
#include "tests/collections/uploads/UploadScreenFixture.h"

namespace {

using Source = UploadUnit::SourceType;

std::shared_ptr<NSPasteboardItem> gifData(const std::string& bytes) {
  auto item = NSPasteboardItem::make();
  item->setData(NSData::fromString(bytes), kUTTypeGIF);
  return item;
}

std::shared_ptr<NSPasteboardItem> files(const std::vector<std::string>& paths) {
  std::vector<std::shared_ptr<NSObject>> names;
  for (const auto& path : paths) names.push_back(NSString::make(path));
  auto item = NSPasteboardItem::make();
  item->setPropertyList(NSArray::make(names), NSFilenamesPboardType);
  return item;
}

// Drops the files from another program onto the target; the dragging program's answer lands
// in what is returned once it is given (after the files were checked elsewhere).
std::shared_ptr<std::optional<NSDragOperation>> dropAnsweredLater(const std::shared_ptr<NSView>& target,
                                                                   const std::vector<std::string>& paths) {
  auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
  pasteboard->installForeignContents({files(paths)});
  auto tracker = DragDestinationTracker::forOtherApplication(pasteboard, NSDragOperationCopy);
  EXPECT_EQ(tracker->moveTo(target->window(), target->convertPointToView(NSPoint{10, 10}, nullptr)),
            NSDragOperationCopy);
  auto answer = std::make_shared<std::optional<NSDragOperation>>();
  tracker->drop([answer](NSDragOperation operation) { *answer = operation; });
  return answer;
}

// The files in the GIF folder: the private copies of GIFs taken in.
std::size_t copiesInGifFolder() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(gifDataDirectoryURL()->path())) ++count;
  return count;
}

std::optional<CGColor> fieldBorder(UploadViewController& screen) {
  return screen.filenameTextInput.lock()->layer()->borderColor();
}

TEST_F(UploadScreenTest, StartTaggingAndSuccessLookAsExpected) {
  signIn("amy", "tok-amy");
  // With the address field being typed into: its editor sits where the field's text shows.
  ui.click(screen->filenameTextInput.lock());
  EXPECT_DUMP(dumpViewTree(screen->view()), "collections/uploads/expected/upload-start.txt");
  ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes())});
  EXPECT_DUMP(dumpViewTree(screen->view()), "collections/uploads/expected/upload-tagging.txt");
  typeTags(0, "cat");
  ui.click(screen->uploadButton.lock());
  ASSERT_TRUE(eventually([&] { return !screen->successContainer.lock()->isHidden(); }));
  ui.advance(NSAnimationContext::defaultDuration());
  EXPECT_DUMP(dumpViewTree(screen->view(), {.skipHidden = true}), "collections/uploads/expected/upload-success.txt");
  ui.click(screen->successDoneButton.lock());
  EXPECT_EQ(popover->calls, (std::vector<std::string>{"complete"}));
}

TEST_F(UploadScreenTest, OpenPanelStagesTheGifFilesAndPutsThePopoverAwayMeanwhile) {
  auto gif = file("one.gif", gifBytes());
  auto fake = file("two.gif", "<html>not a gif</html>");
  auto other = file("three.gif", gifBytes(0xcc3366));
  ui.scriptOpenPanel(std::vector<std::string>{gif, fake, other});
  ui.click(screen->browseButton.lock());
  EXPECT_EQ(ui.openPanelRuns, (std::vector<std::string>{"files several .gif -> 3"}));
  // The files are checked and copied away from the main thread; the refused one is named
  // once the whole choice is checked, which may be a turn after the last GIF is staged.
  ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == 2 && !message().empty(); }));
  EXPECT_EQ(message(), "\u201ctwo.gif\u201d is not a GIF.");
  EXPECT_EQ(sources(), (std::vector<Source>{Source::browseDesktop, Source::browseDesktop}));
  EXPECT_EQ(popover->calls, (std::vector<std::string>{"close animated", "show"}));
  EXPECT_EQ(screen->taggingContainer.lock()->alphaValue(), 1.0);
  EXPECT_NE(screen->stagedUploads()[0]->vorn->vid, screen->stagedUploads()[1]->vorn->vid);

  popover->calls.clear();
  ui.scriptOpenPanel(std::nullopt);
  ui.click(screen->browseButton.lock());
  EXPECT_EQ(popover->calls, (std::vector<std::string>{"close animated", "show"})) << "the upload screen is still up";
  EXPECT_EQ(screen->stagedUploads().size(), 2u);
}

// What the screen said of GIFs it turned away goes once a GIF is staged, however the GIF
// came: dropped, chosen in the file browser or pasted as an address. An intake that stages one
// and turns another away names only what it turned away; a file the desktop's chooser hands
// back that is not there (GTK hands back a path typed for one as any other) is named as a
// dropped one is, and what is there is staged beside it.
TEST_F(UploadScreenTest, AMessageAboutRefusedGifsGoesOnceAGifIsStagedAndTheLatestRefusalsAreNamed) {
  const std::string pngBytes = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0');
  const auto png = file("photo.png", pngBytes);
  const auto gif = file("good.gif", gifBytes());
  auto target = screen->dragContainer.lock();
  auto field = screen->filenameTextInput.lock();
  auto choose = [&](std::vector<std::string> chosen) {
    return [&, chosen] {
      ui.scriptOpenPanel(chosen);
      ui.click(screen->browseButton.lock());
    };
  };
  const std::string gone = (home() / "gone.gif").string(), notFound = "\u201cgone.gif\u201d could not be found.";
  struct Row {
    const char* name;
    std::function<void()> intake;
    std::size_t staged;   // in all, after the row
    std::string message;  // once the intake is checked
  };
  const Row rows[] = {
      {"dropped", [&] { ui.dropFromOtherApplication(target, {gifData(gifBytes())}); }, 1, ""},
      {"chosen", choose({gif}), 2, ""},
      {"pasted",
       [&] {
         ui.click(field);
         field->currentEditor()->selectAll(nullptr);
         ui.typeText(standinURL("/_standin/slow/paste?ms=0"));
         ui.pressReturn();
       },
       3, ""},
      {"dropped with another file", [&] { ui.dropFromOtherApplication(target, {files({gif, file("notes.txt", "words")})}); },
       4, "\u201cnotes.txt\u201d is not a GIF."},
      {"chosen, not there", choose({gone}), 4, notFound},
      {"chosen beside one not there", choose({gif, gone}), 5, notFound},
      {"chosen, no GIF", choose({file("other.png", pngBytes)}), 5, "\u201cother.png\u201d is not a GIF."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ui.dropFromOtherApplication(target, {files({png})});
    ASSERT_EQ(message(), "\u201cphoto.png\u201d is not a GIF.");
    row.intake();
    ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == row.staged && message() == row.message; }))
        << "the message: " << message();
  }
  EXPECT_EQ(copiesInGifFolder(), 5u) << "a copy of each GIF staged, none of what was turned away";
}

TEST_F(UploadScreenTest, DropsOfDataAndFilesStageGifsAndLetAddressesInWithoutReadingThem) {
  auto gif = file("a.gif", gifBytes());
  auto second = file("b.gif", gifBytes(0x22aa22));
  auto text = file("notes.txt", "just words");
  auto target = screen->dragContainer.lock();
  struct Row {
    std::string name;
    std::vector<std::shared_ptr<NSPasteboardItem>> items;
    NSDragOperation performed;
    std::size_t staged;
    std::string message;  // in the instructions' place after the drop
  };
  auto both = gifData(gifBytes());
  both->setPropertyList(NSArray::make({NSString::make(gif)}), NSFilenamesPboardType);
  auto address = NSPasteboardItem::make();
  address->setString("https://example.com/cat.gif\r\n", NSURLPboardType);
  const std::string nothing(UploadIntake::Constants::nothingReadable);
  // A drop is taken when at least one GIF in it is; whatever is not taken is named.
  const std::vector<Row> rows = {
      {"GIF data", {gifData(gifBytes())}, NSDragOperationCopy, 1, ""},
      {"data that is no GIF", {gifData("<html></html>")}, NSDragOperationNone, 0, "The dropped image is not a GIF."},
      {"two GIF files and a text", {files({gif, text, second})}, NSDragOperationCopy, 2,
       "\u201cnotes.txt\u201d is not a GIF."},
      {"only other files", {files({text})}, NSDragOperationNone, 0, "\u201cnotes.txt\u201d is not a GIF."},
      {"data and a file: the data", {both}, NSDragOperationCopy, 1, ""},
      {"an address alone", {address}, NSDragOperationNone, 0, nothing},
      {"plain text (not let in, so nothing changes)", {[] {
         auto item = NSPasteboardItem::make();
         item->setString("hello", NSPasteboardTypeString);
         return item;
       }()},
       NSDragOperationNone, 0, nothing},
  };
  std::size_t total = 0;
  for (const auto& row : rows) {
    EXPECT_EQ(ui.dropFromOtherApplication(target, row.items), row.performed) << row.name;
    total += row.staged;
    EXPECT_EQ(screen->stagedUploads().size(), total) << row.name;
    EXPECT_EQ(message(), row.message) << row.name;
  }
  for (auto source : sources()) EXPECT_EQ(source, Source::drag);
  EXPECT_FALSE(screen->readyToUpload());
}

// A GIF is taken only within the upload limit and when it decodes as one: a picture of
// another kind, a missing file, a folder, a file past the limit and a file that only begins
// like a GIF are each refused by name, and the dragging program hears the drop refused.
TEST_F(UploadScreenTest, DroppedFilesThatAreNoGifWithinTheLimitAreRefusedByName) {
  const std::string png = file("photo.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0'));
  const std::string fake = file("fake.gif", "GIF89a" + std::string(4096, '\0'));
  const std::string huge = file("huge.gif", "GIF89a");
  std::filesystem::resize_file(huge, InputLimits::uploadBytes + 1);  // sparse: nothing is written
  const std::string atLimit = file("padded.gif", gifBytes());
  std::filesystem::resize_file(atLimit, InputLimits::uploadBytes);  // a GIF, then nothing up to the limit
  const std::string folder = (home() / "Pictures").string();
  std::filesystem::create_directories(folder);
  const std::string missing = (home() / "gone.gif").string();
  const std::string good = file("good.gif", gifBytes());
  struct Row {
    std::string path;
    NSDragOperation performed;
    std::string message;
  };
  const std::vector<Row> rows = {
      {png, NSDragOperationNone, "\u201cphoto.png\u201d is not a GIF."},
      {fake, NSDragOperationNone, "\u201cfake.gif\u201d is not a GIF."},
      {huge, NSDragOperationNone, "\u201chuge.gif\u201d is larger than 16 MB, the most a GIF upload may be."},
      {folder, NSDragOperationNone, "\u201cPictures\u201d is a folder, not a GIF file."},
      {missing, NSDragOperationNone, "\u201cgone.gif\u201d could not be found."},
      {atLimit, NSDragOperationCopy, ""},
      {good, NSDragOperationCopy, ""},
  };
  auto target = screen->dragContainer.lock();
  std::size_t staged = 0;
  for (const auto& row : rows) {
    EXPECT_EQ(ui.dropFromOtherApplication(target, {files({row.path})}), row.performed) << row.path;
    if (row.performed != NSDragOperationNone) ++staged;
    EXPECT_EQ(screen->stagedUploads().size(), staged) << row.path;
    EXPECT_EQ(message(), row.message) << row.path;
  }
  // Refused together, each is named under its reason.
  ui.dropFromOtherApplication(target, {files({png, fake, huge, good})});
  EXPECT_EQ(message(), "\u201cphoto.png\u201d and \u201cfake.gif\u201d are not GIFs. \u201chuge.gif\u201d is larger than 16 MB, "
                       "the most a GIF upload may be.");
  EXPECT_TRUE(messageFits());
  EXPECT_DUMP(dumpViewTree(screen->view(), {.skipHidden = true}), "collections/uploads/expected/upload-refused.txt");
  // Only the GIFs taken have copies in the GIF folder.
  EXPECT_EQ(copiesInGifFolder(), staged + 1);
}

// More refused files than the message line holds: each reason is told, with as many of its
// files named as the line holds and the others counted, and the text stays within the line.
TEST_F(UploadScreenTest, ManyRefusedFilesAreNamedAsFarAsTheMessageLineHoldsAndTheRestCounted) {
  std::vector<std::string> paths;
  constexpr std::size_t pictures = 30;
  for (std::size_t i = 0; i < pictures; ++i) {
    paths.push_back(file("holiday picture from the beach " + std::to_string(i) + ".png", "\x89PNG\r\n\x1a\n"));
  }
  paths.insert(paths.begin() + 3, (home() / "late.gif").string());  // gone before it was dropped
  paths.push_back(file("good.gif", gifBytes()));
  ASSERT_EQ(ui.dropFromOtherApplication(screen->dragContainer.lock(), {files(paths)}), NSDragOperationCopy);
  EXPECT_EQ(screen->stagedUploads().size(), 1u);
  const std::string text = message();
  EXPECT_TRUE(messageFits()) << text;
  // The pictures first (the first reason to come), then the file that is gone.
  static const std::regex told("((\u201c[^\u201d]+\u201d, )*\u201c[^\u201d]+\u201d) and (\\d+) more are not GIFs\\. "
                               "\u201clate\\.gif\u201d could not be found\\.");
  std::smatch found;
  ASSERT_TRUE(std::regex_match(text, found, told)) << text;
  const std::string named = found[1].str();
  std::size_t names = 0;
  for (auto at = named.find("\u201c"); at != std::string::npos; at = named.find("\u201c", at + 1)) ++names;
  EXPECT_EQ(names + std::stoul(found[3].str()), pictures) << text;
  EXPECT_GE(names, 1u) << text;
  EXPECT_EQ(named.rfind("\u201choliday picture from the beach 0.png\u201d, ", 0), 0u) << "named in the order dropped: " << text;
}

// A drop of hundreds of files reaches the list a batch at a time, each batch in a turn of the
// main thread of its own, so that the panel answers between them however many were dropped;
// the rows already in sight are not made again for each later batch.
TEST_F(UploadScreenTest, ALargeDropReachesTheListInBatchesThatEachHoldTheMainThreadBriefly) {
  constexpr std::size_t dropped = 200;
  const std::string bytes = GifMaker::animated({.width = 48, .height = 48, .frames = 4, .rgb = 0x3366cc});
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < dropped; ++i) paths.push_back(file("drop " + std::to_string(i) + ".gif", bytes));
  auto list = screen->stagedUploadsCollectionView.lock();

  auto answer = dropAnsweredLater(screen->dragContainer.lock(), paths);
  // The main thread is busy elsewhere while every file is checked and copied, so that the
  // whole drop waits for it at once: a main thread that keeps up would only ever be handed a
  // few at a time, whatever the batch.
  using Clock = std::chrono::steady_clock;
  auto checked = [] { return std::filesystem::exists(gifDataDirectoryURL()->path()) ? copiesInGifFolder() : 0; };
  for (const auto until = Clock::now() + std::chrono::seconds(60); checked() < dropped;) {
    ASSERT_LT(Clock::now(), until) << checked() << " of " << dropped << " files were checked";
    std::this_thread::yield();
  }

  // A probe queued on the main thread again each time it runs: between two of its runs lies
  // one turn of whatever else was queued. It notes how long each turn held the main thread
  // (painting the window as the desktop would) and how many GIFs it staged.
  struct Probe {
    bool stopping = false, stopped = false;
    Clock::time_point last = Clock::now();
    double longest = 0;
    std::size_t staged = 0, mostInATurn = 0;
    std::shared_ptr<NSImage> preview;
    std::size_t previewsMadeAgain = 0;
  };
  auto probe = std::make_shared<Probe>();
  std::function<void()> look = [&, probe] {
    window->displayIfNeeded();
    const auto now = Clock::now();
    probe->longest = std::max(probe->longest, std::chrono::duration<double>(now - probe->last).count());
    probe->last = now;
    const std::size_t staged = screen->stagedUploads().size();
    probe->mostInATurn = std::max(probe->mostInATurn, staged - probe->staged);
    probe->staged = staged;
    if (auto item = std::dynamic_pointer_cast<UploadTaggerCell>(list->itemAtIndexPath(NSIndexPath::indexPathForItem(0, 0)))) {
      if (auto preview = item->gif.lock() ? item->gif.lock()->image() : nullptr) {
        if (probe->preview && preview != probe->preview) ++probe->previewsMadeAgain;
        probe->preview = preview;
      }
    }
    if (probe->stopping) probe->stopped = true;
    else DispatchQueue::main()->async(look);
  };
  DispatchQueue::main()->async(look);
  ASSERT_TRUE(eventually([&] { return answer->has_value(); }));
  // The first row's preview is made on another thread and may show a moment after the last batch.
  EXPECT_TRUE(eventually([&] { return probe->preview != nullptr; })) << "the first row showed its preview";
  probe->stopping = true;
  ASSERT_TRUE(eventually([&] { return probe->stopped; }));

  EXPECT_EQ(**answer, NSDragOperationCopy);
  EXPECT_EQ(screen->stagedUploads().size(), dropped);
  EXPECT_LE(probe->mostInATurn, UploadIntake::Constants::batch) << "GIFs staged in one turn of the main thread";
  EXPECT_LT(probe->longest, 1.0) << "seconds the main thread was held at once";
  EXPECT_EQ(probe->previewsMadeAgain, 0u) << "the first row was made again for a later batch";
  EXPECT_EQ(message(), "");
  // Every one has its row and its copy.
  EXPECT_EQ(list->numberOfItemsInSection(0), dropped);
  EXPECT_EQ(list->frame().height(), dropped * UploadViewController::Constants::rowHeight);
  EXPECT_EQ(copiesInGifFolder(), dropped);
}

// The drop is answered once the files are checked, which happens on another thread: the
// main thread never waits for a file to be read.
TEST_F(UploadScreenTest, ADropIsAnsweredOnlyAfterItsFilesWereCheckedElsewhere) {
  auto answer = dropAnsweredLater(screen->dragContainer.lock(), {file("good.gif", gifBytes())});
  EXPECT_FALSE(answer->has_value()) << "answered before the file was checked";
  EXPECT_TRUE(screen->stagedUploads().empty());
  ASSERT_TRUE(eventually([&] { return answer->has_value(); }));
  EXPECT_EQ(**answer, NSDragOperationCopy);
  EXPECT_EQ(screen->stagedUploads().size(), 1u);
}

TEST_F(UploadScreenTest, AnAddressPastedLongerThanTheFieldTakesIsCutAndSaidSo) {
  auto field = screen->filenameTextInput.lock();
  ui.click(field);
  NSPasteboard::generalPasteboard()->clearContents();
  NSPasteboard::generalPasteboard()->setString("https://example.com/" + std::string(10'500, 'a'), NSPasteboardTypeString);
  ui.pressKey(NSKeyCode::v, "v", NSEventModifierFlagCommand);
  EXPECT_EQ(field->stringValue().size(), InputLimits::url);
  EXPECT_EQ(message(), UploadViewController::Constants::addressTooLongText);
}

TEST_F(UploadScreenTest, PastedAddressesAreFetchedCheckedAndStaged) {
  standin().addRoute("GET", "/page.gif", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.status = 200;
    response.body = "<html><body>a page</body></html>";
    response.contentType = "text/html";
  });
  auto field = screen->filenameTextInput.lock();
  auto paste = [&](const std::string& text) {
    ui.click(field);
    field->currentEditor()->selectAll(nullptr);
    ui.typeText(text);
    ui.pressReturn();
  };
  const auto green = NSColor::systemGreenColor()->CGColor();
  const auto red = NSColor::systemRedColor()->CGColor();

  // A GIF body counts, whatever the address's extension; twice is two units.
  const auto gifAddress = standinURL("/_standin/slow/paste?ms=0");
  paste(gifAddress);
  ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == 1; }));
  EXPECT_EQ(fieldBorder(*screen), green);
  paste(gifAddress);
  ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == 2; }));
  EXPECT_EQ(sources(), (std::vector<Source>{Source::url, Source::url}));
  EXPECT_TRUE(screen->stagedUploads()[0]->vorn->hasValidSize());
  // Each keeps a file of its own, whatever the media cache does with the address's entry.
  auto fileOf = [&](std::size_t i) { return NSURL::URLWithString(screen->stagedUploads()[i]->vorn->gifUrl)->path(); };
  EXPECT_NE(fileOf(0), fileOf(1));
  EXPECT_TRUE(std::filesystem::exists(fileOf(0)) && std::filesystem::exists(fileOf(1)));

  ui.typeText("x");
  EXPECT_EQ(fieldBorder(*screen), NSColorPalette::standardBorderGray()->CGColor()) << "typing clears the mark";
  paste(standinURL("/page.gif"));
  ASSERT_TRUE(eventually([&] { return fieldBorder(*screen) == red; }));
  paste(standinURL("/nothing-here"));
  EXPECT_TRUE(eventually([&] { return fieldBorder(*screen) == red; }));

  // A reply that comes after the screen was reset belongs to the session the user left.
  standin().injectFault("/_standin/slow/late", Fault::stall());
  paste(standinURL("/_standin/slow/late?ms=0"));
  ASSERT_TRUE(eventually([&] { return standin().stalledCount() == 1; }));
  screen->reset();
  standin().releaseStalls();
  // The reply is cached inside its handler; a block queued behind the handler on the
  // session's serial queue then hops to the main queue after whatever the handler sent there.
  const auto late = standinURL("/_standin/slow/late?ms=0");
  ASSERT_TRUE(eventually([&] { return AssetCache::shared()->containsValueForKey(late); }));
  bool settled = false;
  NSURLSession::sharedSession()->delegateQueue()->async(
      [&settled] { DispatchQueue::main()->async([&settled] { settled = true; }); });
  ASSERT_TRUE(eventually([&] { return settled; }));
  EXPECT_TRUE(screen->stagedUploads().empty());
  EXPECT_EQ(fieldBorder(*screen), NSColorPalette::standardBorderGray()->CGColor());

  const auto requests = standin().requests().size();
  paste("not a url at all");
  drainMainQueue();
  EXPECT_EQ(standin().requests().size(), requests);
  EXPECT_TRUE(screen->stagedUploads().empty());
}

TEST_F(UploadScreenTest, UploadWaitsForEveryTagThenLogsAndSendsEachGifToSaved) {
  auto amy = signIn("amy", "tok-amy");
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  ASSERT_TRUE(eventually([&] { return analytics->quorbID().has_value(); }));
  auto saved = manager()->getSavedCollection();
  ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes())});
  ui.scriptOpenPanel(std::vector<std::string>{file("pick.gif", gifBytes(0x993300))});
  ui.click(screen->browseButton.lock());
  ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == 2u; }));

  typeTags(0, "cat, dog!");
  EXPECT_EQ(row(0)->tagInputField.lock()->stringValue(), "cat dog");
  EXPECT_EQ(screen->stagedUploads()[0]->tags, (std::vector<std::string>{"cat", "dog"}));
  EXPECT_FALSE(screen->readyToUpload());
  EXPECT_DOUBLE_EQ(uploadAlpha(), 0.3);

  // Refused: the error takes the button's place for two seconds after its fade.
  ui.click(screen->uploadButton.lock());
  EXPECT_EQ(screen->errorLabel.lock()->alphaValue(), 1.0);
  EXPECT_EQ(screen->uploadButton.lock()->alphaValue(), 0.0);
  ui.advance(NSAnimationContext::defaultDuration() + 2.0);
  EXPECT_EQ(screen->errorLabel.lock()->alphaValue(), 0.0);
  EXPECT_EQ(screen->uploadButton.lock()->alphaValue(), 1.0);
  EXPECT_TRUE(saved->vorns().empty());

  typeTags(1, " ");
  EXPECT_TRUE(screen->readyToUpload()) << "a space alone counts as tagged";
  ui.pressDelete();
  EXPECT_FALSE(screen->readyToUpload());
  ui.typeText("funny");
  EXPECT_TRUE(screen->readyToUpload());
  EXPECT_DOUBLE_EQ(uploadAlpha(), 1.0);
  ui.click(screen->uploadButton.lock());
  EXPECT_TRUE(eventually([&] { return !screen->successContainer.lock()->isHidden(); }));

  ASSERT_EQ(saved->vorns().size(), 2u);
  EXPECT_EQ(saved->vorns()[0]->tags, (std::vector<std::string>{"funny"}));
  EXPECT_EQ(saved->vorns()[1]->tags, (std::vector<std::string>{"cat", "dog"}));
  ASSERT_TRUE(saved->vorns()[0]->poster);
  EXPECT_EQ(saved->vorns()[0]->poster->username, "amy");
  EXPECT_TRUE(eventually([&] { return standin().state().saved(amy.userid).size() == 2; }));

  auto events = [&](const std::string& name) {
    std::vector<std::string> data;
    for (const auto& r : standin().requests()) {
      if (r.path == "/quorb.registerevent/" + name) data.push_back(r.queryValue("data").value_or(""));
    }
    return data;
  };
  ASSERT_TRUE(eventually([&] { return events("upload").size() == 2 && events("collect").size() == 2; }));
  // The event members as the service gets them. The events go as independent requests, so
  // they may arrive in either order.
  using Fields = std::map<std::string, std::string>;
  auto fields = [&](const std::string& name) {
    std::multiset<Fields> all;
    for (const auto& data : events(name)) {
      Fields found;
      auto json = NSJSONSerialization::JSONObjectWithData(NSData::fromString(data));
      if (auto dictionary = json ? asA<NSDictionary>(*json) : nullptr) {
        for (const auto& key : {"tag", "info", "actions", "category"}) {
          if (auto value = asA<NSString>(dictionary->objectForKey(key))) found[key] = value->string();
        }
      }
      all.insert(found);
    }
    return all;
  };
  EXPECT_EQ(fields("upload"),
            (std::multiset<Fields>{{{"tag", "cat,dog"}, {"info", "Saved"}, {"actions", "drag"}, {"category", "upload_flow"}},
                                   {{"tag", "funny"}, {"info", "Saved"}, {"actions", "browseDesktop"}, {"category", "upload_flow"}}}));
  EXPECT_EQ(fields("collect"),
            (std::multiset<Fields>{{{"tag", "Saved"}, {"actions", "drag"}, {"category", "upload_flow"}},
                                   {{"tag", "Saved"}, {"actions", "browseDesktop"}, {"category", "upload_flow"}}}));
}

// Upload is on only while every staged GIF has a tag, however GIFs arrive; success is told
// only for what the service took, into the special Saved whatever pack carries its name.
TEST_F(UploadScreenTest, UploadNeedsEveryTagAndSuccessTellsWhatTheServiceTook) {
  auto amy = signIn("amy", "tok-amy");
  auto context = CoreDataContext::managedObjectContext();
  auto namesake = std::dynamic_pointer_cast<Collection>(context->insertNewObjectForEntityForName("Collection"));
  namesake->setName("Saved");
  auto saved = manager()->getSavedCollection();
  auto stage = [&](std::uint32_t rgb) { ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes(rgb))}); };
  auto upload = [&] {
    ui.click(screen->uploadButton.lock());
    return eventually([&] {
      return !screen->successContainer.lock()->isHidden() || screen->errorLabel.lock()->alphaValue() == 1.0;
    });
  };
  const std::string message = std::string(UploadViewController::Constants::failedText);
  struct Round {
    const char* name;
    std::size_t failing;  // uploads the service refuses
    std::string told;     // the success message, or the error line's
  };
  for (const Round& round : {Round{"refused", 3, message}, Round{"half", 2, "1 of 3" + std::string(UploadViewController::Constants::partialSuccessText)},
                             Round{"taken", 0, std::string(UploadViewController::Constants::successText)}}) {
    screen->reset();
    stage(0x112233);
    typeTags(0, "cat");
    EXPECT_TRUE(screen->readyToUpload()) << round.name;
    stage(0x445566);  // a drop after the others were tagged
    EXPECT_FALSE(screen->readyToUpload()) << round.name;
    screen->appendStagedUploads({UploadUnit::initWithVorn(*VornObject::initWithLocalGifImageData(NSData::fromString(gifBytes())),
                                                          {}, "Saved", Source::drag)});  // as the panel stages a drop on the icon
    typeTags(1, "dog");
    EXPECT_FALSE(screen->readyToUpload()) << round.name;
    ui.click(screen->uploadButton.lock());
    EXPECT_EQ(screen->errorLabel.lock()->alphaValue(), 1.0) << round.name;
    ui.advance(NSAnimationContext::defaultDuration() + 2.0);
    typeTags(2, "owl");
    ASSERT_TRUE(screen->readyToUpload()) << round.name;

    standin().clearFaults();
    if (round.failing) standin().injectFault("/quorb.uploadgif", Fault::status500(), round.failing);
    const auto before = saved->vorns().size();
    ASSERT_TRUE(upload()) << round.name;
    ui.advance(NSAnimationContext::defaultDuration());
    const bool success = !screen->successContainer.lock()->isHidden();
    EXPECT_EQ(success ? screen->successLabel.lock()->stringValue() : screen->errorLabel.lock()->stringValue(), round.told)
        << round.name;
    EXPECT_EQ(saved->vorns().size(), before + 3) << round.name;
    EXPECT_FALSE(screen->readyToUpload()) << "sent once: " << round.name;
  }
  EXPECT_TRUE(namesake->vorns().empty());
  EXPECT_TRUE(eventually([&] { return standin().state().saved(amy.userid).size() == 1 + 3; }));
}

// The copies of GIFs staged and never uploaded go with the session; uploaded ones stay with
// Saved.
TEST_F(UploadScreenTest, ResetDeletesTheCopiesOfGifsThatWereNotUploaded) {
  signIn("amy", "tok-amy");
  ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes())});
  ui.scriptOpenPanel(std::vector<std::string>{file("pick.gif", gifBytes(0x993300))});
  ui.click(screen->browseButton.lock());
  ASSERT_TRUE(eventually([&] { return screen->stagedUploads().size() == 2u; }));
  ASSERT_EQ(copiesInGifFolder(), 2u);
  screen->reset();
  EXPECT_EQ(copiesInGifFolder(), 0u);

  ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes())});
  typeTags(0, "cat");
  ui.click(screen->uploadButton.lock());
  ASSERT_TRUE(eventually([&] { return !screen->successContainer.lock()->isHidden(); }));
  screen->reset();
  EXPECT_EQ(copiesInGifFolder(), 1u);
}

TEST_F(UploadScreenTest, ResetReturnsToTheStartAndMakesAScreenNotYetLoadedInThatState) {
  ui.dropFromOtherApplication(screen->dragContainer.lock(), {gifData(gifBytes())});
  typeTags(0, "cat");
  screen->reset();
  EXPECT_TRUE(screen->stagedUploads().empty());
  EXPECT_TRUE(screen->stagedUploadsTaggingMap.empty());
  EXPECT_EQ(screen->taggingContainer.lock()->alphaValue(), 0.0);
  EXPECT_FALSE(screen->readyToUpload());
  EXPECT_EQ(screen->dragContainer.lock()->layer()->borderColor(), NSColorPalette::standardBorderGray()->CGColor());
  ui.click(screen->backButton.lock());
  EXPECT_EQ(popover->calls, (std::vector<std::string>{"cancel"}));

  // Reset before its view is made (as the panel's first showing does): the view is made
  // in the same start state, the success view hidden and not over the card.
  auto fresh = UploadViewController::init();
  fresh->reset();
  ASSERT_TRUE(fresh->isViewLoaded());
  EXPECT_TRUE(fresh->successContainer.lock()->isHidden());
  EXPECT_EQ(fresh->taggingContainer.lock()->alphaValue(), 0.0);
  EXPECT_EQ(fresh->dragContainer.lock()->layer()->borderColor(), NSColorPalette::standardBorderGray()->CGColor());
}

}  // namespace
