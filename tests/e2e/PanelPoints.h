#pragma once
// Where a person clicks on the panel (400 × 600 pixels, from its top left), as the screens
// lay their controls out.

#include <cstddef>
#include <string_view>

#include "platform/foundation/NSGeometry.h"

namespace PanelPoints {

// The toolbar.
constexpr double toolbarY = 25;
constexpr NSPoint accountButton{285, toolbarY};  // "SIGN UP / LOG IN", signed out
constexpr NSPoint profileButton{310, toolbarY};  // "PROFILE", signed in
constexpr NSPoint moreButton{375, toolbarY};     // the settings menu
// UPLOAD spans these x (ends included) signed out and signed in.
constexpr double uploadSignedOutMinX = 131, uploadSignedOutMaxX = 209;
constexpr double uploadSignedInMinX = 181, uploadSignedInMaxX = 259;
constexpr NSPoint searchField{200, 78};
// The search field where it lies once the toolbar has slid away.
constexpr NSPoint searchFieldToolbarAway{200, 28};
// A point of the suggestion list's first row, hanging below the field over the strip.
constexpr NSPoint suggestionList{300, 140};
// The home grid's first tag tile and the trending strip's first GIF.
constexpr NSPoint firstTagTile{100, 253};
constexpr NSPoint firstTrendingGif{82, 150};
// A point of the trending strip that the profile leaves white.
constexpr NSPoint trendingStrip{240, 160};

// The first-run terms screen, and its sentence about the terms (the welcome's), which wraps
// to two lines.
constexpr NSPoint termsOK{230, 283};
constexpr NSRect welcomeSentence{{78, 182}, {243, 49}};

// The log-in form and, after "Sign up", the sign-up form.
constexpr NSPoint loginUsername{200, 139};
constexpr NSPoint loginPassword{200, 226};
constexpr NSPoint loginSubmit{200, 347};
constexpr NSPoint loginSubmitFill{80, 347};  // beside the title, in the button's blue
constexpr NSPoint loginToSignup{280, 397};
// The form's close button in its card's top right corner, and a point its card covers in
// white where home shows a tile.
constexpr NSPoint loginClose{358, 42};
constexpr NSPoint loginCard{360, 460};
constexpr NSPoint signupUsername{200, 122};
constexpr NSPoint signupEmail{200, 216};
constexpr NSPoint signupPassword{200, 310};
constexpr NSPoint signupAgree{62, 365};
// Near the box's corner, which the growing fill reaches last: the box counts as ticked only
// once its fill has grown.
constexpr NSPoint signupAgreeCorner{53, 356};
constexpr NSPoint signupSubmit{200, 431};
constexpr NSPoint signupSubmitFill{80, 431};

// The upload screen and the create-pack form share the card's top-left control.
constexpr NSPoint cardBack{50, 31};
// A point the upload screen's card covers in white and home's search bar in blue (neither
// plays, so each settles as soon as a fade is over), the middle of the screen's drop target,
// empty while nothing is staged, and the tagging interface's Upload under the staged list.
constexpr NSPoint uploadCard{15, 55};
constexpr NSPoint uploadDropTarget{200, 300};
constexpr NSPoint uploadButton{200, 542};
constexpr NSPoint uploadPasteURL{110, 158};
constexpr NSPoint packName{200, 154};
constexpr NSPoint packCreate{200, 228};
constexpr NSPoint packCreateFill{145, 228};

// The profile.
constexpr NSPoint createPack{324, 131};
constexpr NSPoint createPackFill{270, 131};
constexpr NSPoint packsTab{151, 131};
constexpr NSPoint firstPackTile{100, 220};
// The packs list's second tile (right column) and third (second row), and an open pack's Back.
constexpr NSPoint secondPackTile{300, 220};
constexpr NSPoint thirdPackTile{100, 320};
constexpr NSPoint packBack{40, 128};

// The toolbar's white between the logo and UPLOAD: the search bar's blue once the toolbar
// has slid away.
constexpr NSPoint toolbarBackground{100, toolbarY};
// Inside the home grid, and inside the first search result's tile.
constexpr NSPoint homeGrid{100, 450};
constexpr NSPoint firstResult{100, 250};

// The settings menu's rows ('i' an item, '-' a separator) signed out: the version, Check for
// Updates, Preferences, the three web pages and Licenses, Quit; signed in Log Out comes
// before Quit. The separator the menu ends with parts nothing and is not drawn.
constexpr std::string_view settingsMenuSignedOut = "ii-i-iiii-i";
constexpr std::string_view settingsMenuSignedIn = "ii-i-iiii-ii";
enum SettingsRow : std::size_t { checkForUpdates = 1, preferences = 3, download = 5, about, privacy, licenses };
// Quit signed out, and Log Out signed in, are the tenth row.
constexpr std::size_t quitSignedOut = 10, logOutSignedIn = 10;

}  // namespace PanelPoints
