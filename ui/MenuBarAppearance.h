#pragma once
// Whether the menu bar is dark (the status item picks its icon by it): the desktop prefers a
// dark look (the kit's effective appearance, which a desktop host follows), or the user
// chose the dark interface style in the defaults.

bool isDarkMenuBar();
