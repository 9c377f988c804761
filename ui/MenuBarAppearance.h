#pragma once
// Whether the user chose the dark interface style (the status item picks its icon by it).

bool isDarkMenuBar();
