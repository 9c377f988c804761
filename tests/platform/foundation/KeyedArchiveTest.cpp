#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A small record in the way application records adopt keyed coding.
class Widget : public NSObject, public NSCoding {
 public:
  static std::shared_ptr<Widget> make(std::string vid) {
    auto widget = std::shared_ptr<Widget>(new Widget());
    widget->vid = std::move(vid);
    return widget;
  }

  std::string vid;
  std::shared_ptr<NSString> title;
  std::int64_t shareCount = 0;
  bool sticker = false;
  double ratio = 0;
  std::shared_ptr<Widget> parent;
  std::shared_ptr<NSData> nested;

  std::string className() const override { return "ArchiveTestWidget"; }

  void encodeWithCoder(NSCoder& coder) const override {
    coder.encodeObject(NSString::make(vid), "vid");
    coder.encodeObject(title, "title");  // text or null
    coder.encodeInt64(shareCount, "shareCount");
    coder.encodeBool(sticker, "sticker");
    coder.encodeDouble(ratio, "ratio");
    coder.encodeObject(parent, "parent");
    if (nested) coder.encodeObject(nested, "nested");
  }

  static std::shared_ptr<Widget> initWithCoder(NSCoder& coder) {
    auto vid = coder.decodeObjectOfClass<NSString>("vid");
    if (!vid || !*vid) return nullptr;  // required
    auto widget = make((*vid)->string());
    widget->title = coder.decodeObjectOfClass<NSString>("title").value_or(nullptr);
    widget->shareCount = coder.decodeInt64ForKey("shareCount");
    widget->sticker = coder.decodeBoolForKey("sticker");
    widget->ratio = coder.decodeDoubleForKey("ratio");
    widget->parent = coder.decodeObjectOfClass<Widget>("parent").value_or(nullptr);
    widget->nested = coder.decodeObjectOfClass<NSData>("nested").value_or(nullptr);
    return widget;
  }

 private:
  Widget() = default;
};

const NSCodingRegistration widgetRegistration{"ArchiveTestWidget", &Widget::initWithCoder};

// Records what a decoder sees, to test the coder's answers from inside initWithCoder.
struct Probe : public NSObject, public NSCoding {
  void encodeWithCoder(NSCoder& coder) const override {
    coder.encodeObject(nullptr, "nothing");
    coder.encodeObject(NSNumber::numberWithInteger(5), "number");
    coder.encodeObject(NSString::make("text"), "text");
    coder.encodeBool(true, "flag");
    coder.encodeObject(NSString::make("dollar"), "$key");
    coder.encodeObject(NSArray::make({NSString::make("a"), NSNumber::numberWithInteger(1)}), "mixed");
  }
  std::string className() const override { return "ArchiveTestProbe"; }
};

struct ProbeResult {
  bool containsNothing = false, containsMissing = true, containsFlag = false;
  bool textAsNumberIsAnotherType = false, nothingIsEmpty = false, missingIsEmpty = false;
  bool mixedListIsAnotherType = false, flagIsNoObject = false;
  std::string dollar;
};
ProbeResult probeResult;

const NSCodingRegistration probeRegistration{"ArchiveTestProbe", [](NSCoder& coder) -> id {
  ProbeResult r;
  r.containsNothing = coder.containsValueForKey("nothing");
  r.containsMissing = coder.containsValueForKey("missing");
  r.containsFlag = coder.containsValueForKey("flag");
  auto textAsNumber = coder.decodeObjectOfClass<NSNumber>("text");
  r.textAsNumberIsAnotherType = !textAsNumber && textAsNumber.error()->code() == NSCoder::NSCoderReadCorruptError;
  auto nothing = coder.decodeObjectOfClass<NSString>("nothing");
  r.nothingIsEmpty = nothing && !*nothing;
  auto missing = coder.decodeObjectOfClass<NSString>("missing");
  r.missingIsEmpty = missing && !*missing;
  r.mixedListIsAnotherType = !coder.decodeArrayOfObjectsOfClass<NSString>("mixed").has_value();
  r.flagIsNoObject = coder.decodeObjectForKey("flag") == nullptr;
  if (auto dollar = coder.decodeObjectOfClass<NSString>("$key"); dollar && *dollar) r.dollar = (*dollar)->string();
  probeResult = r;
  return NSNull::null();
}};

id roundTrip(const id& root) {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(root);
  EXPECT_TRUE(data.has_value()) << data.error()->description();
  if (!data) return nullptr;
  auto decoded = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  EXPECT_TRUE(decoded.has_value()) << decoded.error()->description();
  return decoded.value_or(nullptr);
}

std::shared_ptr<NSPropertyListUID> uid(std::uint64_t value) { return NSPropertyListUID::make(value); }

// A keyed archive made by hand from its "$objects" list, rooted at object 1.
std::shared_ptr<NSData> handmadeArchive(std::shared_ptr<NSArray> objects, id root = uid(1)) {
  auto archive = NSDictionary::make({
      {"$version", NSNumber::numberWithInteger(100000)},
      {"$archiver", NSString::make("NSKeyedArchiver")},
      {"$top", NSDictionary::make({{"root", root}})},
      {"$objects", objects},
  });
  return NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0)
      .value();
}

std::shared_ptr<NSDictionary> classRecord(const std::string& name) {
  return NSDictionary::make({{"$classname", NSString::make(name)},
                             {"$classes", NSArray::make({NSString::make(name), NSString::make("NSObject")})}});
}

}  // namespace

class KeyedArchiveTest : public GlimdeckTest {};

TEST_F(KeyedArchiveTest, ValueClassesSurviveARoundTrip) {
  auto root = NSDictionary::make({
      {"text", NSString::make("caf\xC3\xA9")},
      {"yes", NSNumber::numberWithBool(true)},
      {"count", NSNumber::numberWithInteger(-42)},
      {"real", NSNumber::numberWithDouble(2.5)},
      {"data", NSData::fromString(std::string("\0\xff", 2))},
      {"date", NSDate::dateWithTimeIntervalSince1970(1'234'567'890.5)},
      {"distant", NSDate::distantPast()},
      {"null", NSNull::null()},
      {"size", NSValue::valueWithSize({320.5, 240})},
      {"point", NSValue::valueWithPoint({-1, 0.1})},
      {"rect", NSValue::valueWithRect({{1, 2}, {3, 4}})},
      {"list", NSArray::make({NSString::make("a"), NSArray::make(), NSDictionary::make()})},
  });
  auto decoded = asA<NSDictionary>(roundTrip(root));
  ASSERT_TRUE(decoded);
  for (const auto& [key, value] : *root) {
    EXPECT_TRUE(objectsEqual(decoded->objectForKey(key), value)) << key;
  }
  EXPECT_EQ(decoded->allKeys(), root->allKeys());
  EXPECT_TRUE(decoded->objectForKeyAs<NSNumber>("yes")->isBool());
  EXPECT_TRUE(decoded->objectForKeyAs<NSValue>("size")->holdsSize());
}

TEST_F(KeyedArchiveTest, RecordsKeepTheirFieldsAndNullReferencesReadAsNothing) {
  auto widget = Widget::make("abc");
  widget->shareCount = INT64_MIN;
  widget->sticker = true;
  widget->ratio = 0.75;
  widget->parent = Widget::make("parent");
  widget->parent->title = NSString::make("Parent");
  auto decoded = asA<Widget>(roundTrip(widget));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->vid, "abc");
  EXPECT_FALSE(decoded->title);
  EXPECT_EQ(decoded->shareCount, INT64_MIN);
  EXPECT_TRUE(decoded->sticker);
  EXPECT_EQ(decoded->ratio, 0.75);
  ASSERT_TRUE(decoded->parent);
  EXPECT_EQ(decoded->parent->title->string(), "Parent");
  EXPECT_FALSE(decoded->parent->parent);
}

TEST_F(KeyedArchiveTest, TheCoderAnswersPresenceAndTypesFromInsideADecoder) {
  ASSERT_TRUE(roundTrip(std::make_shared<Probe>()));
  EXPECT_TRUE(probeResult.containsNothing) << "a null reference is a value";
  EXPECT_FALSE(probeResult.containsMissing);
  EXPECT_TRUE(probeResult.containsFlag);
  EXPECT_TRUE(probeResult.textAsNumberIsAnotherType);
  EXPECT_TRUE(probeResult.nothingIsEmpty);
  EXPECT_TRUE(probeResult.missingIsEmpty);
  EXPECT_TRUE(probeResult.mixedListIsAnotherType);
  EXPECT_TRUE(probeResult.flagIsNoObject);
  EXPECT_EQ(probeResult.dollar, "dollar");
}

TEST_F(KeyedArchiveTest, SharedObjectsAreWrittenOnceAndDecodeShared) {
  auto shared = Widget::make("shared");
  auto list = NSArray::make({shared, shared, NSString::make("x"), NSString::make("x")});
  auto data = NSKeyedArchiver::archivedDataWithRootObject(list).value();
  auto archive = asA<NSDictionary>(NSPropertyListSerialization::propertyListWithData(data).value());
  auto objects = archive->objectForKeyAs<NSArray>("$objects");
  // "$null", the list, its class, the widget, its text, its class, "x"
  EXPECT_EQ(objects->count(), 7u) << objects->description();
  auto decoded = asA<NSArray>(NSKeyedUnarchiver::unarchiveObjectWithData(data).value());
  ASSERT_TRUE(decoded && decoded->count() == 4);
  EXPECT_EQ(decoded->objectAtIndex(0).get(), decoded->objectAtIndex(1).get());
}

TEST_F(KeyedArchiveTest, ArchivesUnderOtherClassNamesDecodeThroughTheMappedClass) {
  for (std::string prefix : {"Zolto.", "Glimdeck.", "Zolto_Glimdeck_for_Mac."}) {
    const std::string oldName = prefix + "ArchiveTestWidget";
    SCOPED_TRACE(oldName);
    NSKeyedArchiver::setClassName(oldName, "ArchiveTestWidget");
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Widget::make("legacy")).value();
    NSKeyedArchiver::setClassName("", "ArchiveTestWidget");
    EXPECT_NE(data->string().find(oldName), std::string::npos);

    auto unmapped = NSKeyedUnarchiver::unarchiveObjectWithData(data);
    ASSERT_FALSE(unmapped.has_value());
    EXPECT_NE(unmapped.error()->localizedDescription().find(oldName), std::string::npos);

    NSKeyedUnarchiver::setClass("ArchiveTestWidget", oldName);
    EXPECT_EQ(NSKeyedUnarchiver::classForClassName(oldName), "ArchiveTestWidget");
    auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<Widget>(data);
    ASSERT_TRUE(decoded.has_value()) << decoded.error()->description();
    EXPECT_EQ((*decoded)->vid, "legacy");
    NSKeyedUnarchiver::setClass("", oldName);
  }
}

TEST_F(KeyedArchiveTest, TheArchiveIsABinaryPropertyListThatPlistutilPrints) {
  auto widget = Widget::make("printed");
  auto data = NSKeyedArchiver::archivedDataWithRootObject(widget).value();
  EXPECT_TRUE(data->view().starts_with("bplist00"));
  const auto path = home() / "widget.archive";
  std::ofstream(path, std::ios::binary).write(data->view().data(), static_cast<std::streamsize>(data->length()));
  const std::string command = "plistutil -i '" + path.string() + "' -o - 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) printed.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << printed;
  for (const char* expected : {"<key>$archiver</key>", "<string>NSKeyedArchiver</string>", "<key>$top</key>",
                               "<key>root</key>", "<key>CF$UID</key>", "<key>$objects</key>",
                               "<string>$null</string>", "<key>$classname</key>",
                               "<string>ArchiveTestWidget</string>", "<string>printed</string>"}) {
    EXPECT_NE(printed.find(expected), std::string::npos) << expected << "\n" << printed;
  }
}

TEST_F(KeyedArchiveTest, AnArchiveNestedInAnotherAsDataDecodesOnItsOwn) {
  auto inner = NSKeyedArchiver::archivedDataWithRootObject(NSValue::valueWithRect({{0, 0}, {1, 1}})).value();
  auto widget = Widget::make("outer");
  widget->nested = inner;
  auto decoded = asA<Widget>(roundTrip(widget));
  ASSERT_TRUE(decoded && decoded->nested);
  auto colour = NSKeyedUnarchiver::unarchivedObjectOfClass<NSValue>(decoded->nested);
  ASSERT_TRUE(colour.has_value());
  EXPECT_EQ((*colour)->rectValue(), NSMakeRect(0, 0, 1, 1));
}

TEST_F(KeyedArchiveTest, NullRootsRequiredFieldsAndRootsOfAnotherType) {
  auto null = NSKeyedArchiver::archivedDataWithRootObject(nullptr);
  ASSERT_TRUE(null.has_value());
  auto decodedNull = NSKeyedUnarchiver::unarchiveObjectWithData(*null);
  ASSERT_TRUE(decodedNull.has_value());
  EXPECT_FALSE(*decodedNull);

  // A record whose initializer refuses the archive decodes as nothing, not as an error.
  auto refused = handmadeArchive(NSArray::make({NSString::make("$null"),
                                                NSDictionary::make({{"$class", uid(2)}}),
                                                classRecord("ArchiveTestWidget")}));
  auto decodedRefused = NSKeyedUnarchiver::unarchiveObjectWithData(refused);
  ASSERT_TRUE(decodedRefused.has_value());
  EXPECT_FALSE(*decodedRefused);

  auto list = NSKeyedArchiver::archivedDataWithRootObject(NSArray::make()).value();
  auto asDictionary = NSKeyedUnarchiver::unarchivedObjectOfClass<NSDictionary>(list);
  ASSERT_FALSE(asDictionary.has_value());
  EXPECT_NE(asDictionary.error()->localizedDescription().find("another type"), std::string::npos);
}

TEST_F(KeyedArchiveTest, ObjectsThatCannotBeCodedAreReported) {
  auto plain = std::make_shared<NSObject>();
  for (const id& root : {id(plain), id(NSArray::make({NSString::make("a"), plain}))}) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(root);
    ASSERT_FALSE(data.has_value());
    EXPECT_EQ(data.error()->code(), NSCoder::NSCoderInvalidValueError);
  }
  id deep = NSString::make("core");
  for (std::size_t i = 0; i <= NSKeyedArchiver::kMaximumDepth; ++i) deep = NSArray::make({deep});
  EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(deep).has_value());
}

TEST_F(KeyedArchiveTest, MalformedArchivesGiveAnErrorNeverACrash) {
  auto nullEntry = NSString::make("$null");
  auto arrayClass = classRecord("NSArray");
  auto deepObjects = NSArray::make({nullEntry, arrayClass});
  for (std::uint64_t i = 0; i < 2'000; ++i) {
    deepObjects->addObject(NSDictionary::make({{"$class", uid(1)}, {"NS.objects", NSArray::make({uid(i + 3)})}}));
  }
  deepObjects->addObject(NSString::make("end"));

  struct Case {
    const char* name;
    std::shared_ptr<NSData> data;
  };
  const Case cases[] = {
      {"empty", NSData::make()},
      {"garbage", NSData::fromString("not an archive at all")},
      {"a property list that is not an archive",
       NSPropertyListSerialization::dataWithPropertyList(NSArray::make(), NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0).value()},
      {"first object not $null", handmadeArchive(NSArray::make({NSString::make("x"), NSString::make("y")}))},
      {"root out of range", handmadeArchive(NSArray::make({nullEntry}), uid(99))},
      {"class out of range", handmadeArchive(NSArray::make({nullEntry, NSDictionary::make({{"$class", uid(77)}})}))},
      {"class without a name", handmadeArchive(NSArray::make({nullEntry, NSDictionary::make({{"$class", uid(1)}})}))},
      {"unknown class", handmadeArchive(NSArray::make({nullEntry, NSDictionary::make({{"$class", uid(2)}}),
                                                      classRecord("NoSuchClass")}))},
      {"entry that is not an object", handmadeArchive(NSArray::make({nullEntry, NSArray::make()}))},
      {"list holding itself", handmadeArchive(NSArray::make({nullEntry,
                                                             NSDictionary::make({{"$class", uid(2)}, {"NS.objects", NSArray::make({uid(1)})}}),
                                                             arrayClass}))},
      {"element reference out of range",
       handmadeArchive(NSArray::make({nullEntry, NSDictionary::make({{"$class", uid(2)}, {"NS.objects", NSArray::make({uid(1000)})}}),
                                      arrayClass}))},
      {"element that is not a reference",
       handmadeArchive(NSArray::make({nullEntry, NSDictionary::make({{"$class", uid(2)}, {"NS.objects", NSArray::make({NSString::make("x")})}}),
                                      arrayClass}))},
      {"dictionary key that is not text",
       handmadeArchive(NSArray::make({nullEntry,
                                      NSDictionary::make({{"$class", uid(2)}, {"NS.keys", NSArray::make({uid(3)})}, {"NS.objects", NSArray::make({uid(3)})}}),
                                      classRecord("NSDictionary"), NSNumber::numberWithInteger(1)}))},
      {"dictionary with unmatched keys",
       handmadeArchive(NSArray::make({nullEntry,
                                      NSDictionary::make({{"$class", uid(2)}, {"NS.keys", NSArray::make({uid(3)})}, {"NS.objects", NSArray::make()}}),
                                      classRecord("NSDictionary"), NSString::make("k")}))},
      {"objects nested too deeply", handmadeArchive(deepObjects, uid(2))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoded = NSKeyedUnarchiver::unarchiveObjectWithData(c.data);
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error()->domain(), NSError::NSCocoaErrorDomain);
  }
}

TEST_F(KeyedArchiveTest, EveryTruncationOfAnArchiveIsAnError) {
  auto widget = Widget::make("cut");
  widget->parent = Widget::make("parent");
  auto data = NSKeyedArchiver::archivedDataWithRootObject(widget).value();
  for (std::size_t length = 0; length < data->length(); ++length) {
    auto part = NSData::make(std::vector<std::uint8_t>(data->bytes().begin(), data->bytes().begin() + length));
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithData(part).has_value()) << length;
  }
}

TEST_F(KeyedArchiveTest, ArchivesGoToAndComeFromFiles) {
  const auto path = home() / "recentShareMap";
  auto map = NSDictionary::make({{"https://media.example/a.gif", NSString::make("/cache/a.gif")}});
  ASSERT_TRUE(NSKeyedArchiver::archiveRootObject(map, path));
  auto decoded = NSKeyedUnarchiver::unarchiveObjectWithFile(path);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_TRUE(objectsEqual(*decoded, map));

  EXPECT_FALSE(NSKeyedArchiver::archiveRootObject(map, home() / "missing-folder" / "file"));
  EXPECT_FALSE(NSKeyedArchiver::archiveRootObject(std::make_shared<NSObject>(), path));
  EXPECT_TRUE(objectsEqual(NSKeyedUnarchiver::unarchiveObjectWithFile(path).value_or(nullptr), map))
      << "a failed archive leaves the file as it was";
  auto missing = NSKeyedUnarchiver::unarchiveObjectWithFile(home() / "nothing-here");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error()->domain(), NSError::NSCocoaErrorDomain);
  std::filesystem::resize_file(path, 0);
  EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithFile(path).has_value()) << "an empty file holds no archive";
}
