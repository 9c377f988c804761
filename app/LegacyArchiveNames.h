#pragma once
// Archives written under the application's former module names name the record classes
// "Zolto.VornObject", "Glimdeck.PlovexUser" and so on. Start-up calls this, before any
// archive is read, so that all nine such names decode as the current classes.
void registerLegacyArchiveClassNames();
