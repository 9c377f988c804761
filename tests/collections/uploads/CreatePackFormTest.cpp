// The create-pack form through the simulator against the stand-in: a pack made from the
// typed name reaches the store and the service, refused names show the error line, Cancel
// and Escape tell the owner, and reset (which puts the keys in the name field) and the
// fade-out return the form to its start.

#include <gtest/gtest.h>

#include "collections/CreateCollectionViewController.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWindow.h"
#include "ui/QLXButton.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class CreatePackFormTest : public CollectionsTest {
 protected:
  struct Owner : CreateCollectionViewControllerDelegate {
    std::vector<std::string> calls;
    void collectionCreationSuccess() override { calls.push_back("success"); }
    void collectionCreationCancelled() override { calls.push_back("cancelled"); }
  };

  void SetUp() override {
    CollectionsTest::SetUp();
    ui.attach();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 480), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    window->contentView()->addSubview(form->view());
    form->delegate = owner;
    form->reset();
  }
  void TearDown() override {
    window->close();
    ui.detach();
    CollectionsTest::TearDown();
  }

  void typeName(std::string_view name) {
    ui.click(form->nameTextField.lock());
    ui.typeText(name);
  }
  // The error line's text while it shows, "" while hidden.
  std::string error() {
    auto label = form->errorLabel.lock();
    return label->isHidden() ? "" : label->stringValue();
  }

  UISimulator ui;
  std::shared_ptr<Owner> owner = std::make_shared<Owner>();
  std::shared_ptr<CreateCollectionViewController> form = CreateCollectionViewController::init();
  std::shared_ptr<NSWindow> window;
};

using FormText = CreateCollectionViewController::Constants;

TEST_F(CreatePackFormTest, TypedNameBecomesAPackInTheStoreAndOnTheService) {
  EXPECT_DUMP(dumpViewTree(form->view()), "collections/uploads/expected/create-pack-start.txt");
  auto amy = signIn("amy", "tok-amy");
  typeName("  Cats  ");
  ui.click(form->createButton.lock());
  EXPECT_EQ(owner->calls, std::vector<std::string>{"success"});
  EXPECT_EQ(error(), "");

  auto pack = manager()->getCollection("Cats");
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->specialCollectionType(), 0);
  ASSERT_TRUE(eventually([&] { return pack->identifier() != 0; }));
  auto served = standin().state().collection(pack->identifier());
  ASSERT_TRUE(served.has_value());
  EXPECT_EQ(served->name, "Cats");
  EXPECT_EQ(served->owner, amy.userid);

  // A second Create while the form fades out makes nothing and shows nothing.
  ui.click(form->createButton.lock());
  EXPECT_EQ(owner->calls.size(), 1u);
  EXPECT_EQ(error(), "");
  relaunch();
  EXPECT_TRUE(manager()->getCollection("Cats")) << "the pack was saved";
}

TEST_F(CreatePackFormTest, RefusedNamesShowTheErrorAndMakeNothing) {
  manager()->createNewCollection("Dogs", false, true);
  const auto before = manager()->getAllCollections(false).size();
  struct Case {
    std::string typed;
    std::string_view expected;
  };
  for (const auto& [typed, expected] : std::vector<Case>{{"", FormText::emptyNameText},
                                                         {"   ", FormText::emptyNameText},
                                                         {"Dogs", FormText::duplicateNameText},
                                                         {" Dogs ", FormText::duplicateNameText},
                                                         {"Favorites", FormText::duplicateNameText}}) {
    form->reset();
    ui.typeText(typed);
    ui.pressReturn();
    EXPECT_EQ(error(), expected) << "'" << typed << "'";
  }
  EXPECT_TRUE(owner->calls.empty());
  EXPECT_EQ(manager()->getAllCollections(false).size(), before);
  EXPECT_TRUE(standin().state().collections().empty());

  ui.typeText("x");
  EXPECT_EQ(error(), "") << "typing hides the error";
}

TEST_F(CreatePackFormTest, CancelResetAndFadeOutReturnTheFormToItsStart) {
  typeName("Unfinished");
  ui.pressReturn();
  ui.click(form->cancelButton.lock());
  typeName("!");
  ui.pressEscape();
  EXPECT_EQ(owner->calls, (std::vector<std::string>{"success", "cancelled", "cancelled"}));

  form->reset();
  ui.click(form->createButton.lock());
  EXPECT_EQ(error(), FormText::emptyNameText);
  form->reset();
  EXPECT_EQ(form->nameTextField.lock()->stringValue(), "");
  EXPECT_EQ(error(), "");

  bool called = false;
  form->closeViewWithCallback([&] { called = true; });
  EXPECT_EQ(form->view()->alphaValue(), 0.0);
  EXPECT_TRUE(form->view()->superview()) << "gone only once the fade has ended";
  ui.advance(FormText::fadeOutSeconds);
  EXPECT_TRUE(called);
  EXPECT_FALSE(form->view()->superview()) << "an invisible form must not take the panel's clicks";
}

TEST_F(CreatePackFormTest, ANamePastedLongerThanAPackTakesIsCutAndTheErrorLineSaysSo) {
  NSPasteboard::generalPasteboard()->clearContents();
  NSPasteboard::generalPasteboard()->setString(std::string(10'500, 'p'), NSPasteboardTypeString);
  ui.click(form->nameTextField.lock());
  ui.pressKey(NSKeyCode::v, "v", NSEventModifierFlagCommand);
  const std::string kept(InputLimits::packName, 'p');
  EXPECT_EQ(form->nameTextField.lock()->stringValue(), kept);
  EXPECT_EQ(error(), FormText::nameTooLongText);
  ui.click(form->createButton.lock());
  EXPECT_EQ(owner->calls, std::vector<std::string>{"success"});
  EXPECT_TRUE(manager()->getCollection(kept));
}

}  // namespace
