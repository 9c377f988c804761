#pragma once
// Values shared by the whole application, and the small GIF-data and file utilities that
// stand beside them.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSURL.h"

// The GIF service's API key, sent as the query parameter "key".
inline constexpr std::string_view webApiKey = "QKW7TNPL2XRM";
// The application group whose container holds shared item files.
inline constexpr std::string_view appGroupIdentifier = "group.com.glimdeck.zolto.glimdeck";
// The status item's fixed length, in points.
inline constexpr double statusItemLength = 40.0;
// The user-defaults key of the global shortcut.
inline constexpr std::string_view globalKeyboardShortcutKey = "GlobalKeyboardShortcutKey";
// The service's legal pages.
inline constexpr std::string_view legalTermsUrl = "https://zolto.com/legal-terms";
inline constexpr std::string_view legalPrivacyUrl = "https://zolto.com/legal-privacy";

// The length of the GIF signature ("GIF89a", "GIF87a").
inline constexpr std::size_t gifSignatureLength = 6;

// The current local time as "HH:mm" (24-hour clock), in the "en_US" locale.
std::string timeStringFromDate();
// True when the bytes begin with "GIF89a" or "GIF87a"; fewer bytes than that are no GIF.
bool isGifData(std::span<const std::uint8_t> bytes);
bool isGifData(const std::shared_ptr<NSData>& data);
// The size in bytes of the file at the URL's path; 0 when it cannot be read.
std::uint64_t fileSizeAtURL(const std::shared_ptr<NSURL>& url);

// The application's own folder in the user's application-support area, created (with
// intermediate folders) when missing; a failure to create it is printed and the URL
// returned all the same.
std::shared_ptr<NSURL> applicationSupportDirectoryURL();
// Its sub-folder "gifdata", where private GIF copies live; created when missing.
std::shared_ptr<NSURL> gifDataDirectoryURL();
// The bytes of a GIF file of this computer, or none when it cannot be read. A file in the
// "gifdata" folder is the application's own: only a plain file there is read, and anything
// else under its name is set aside (platform/foundation/OwnFiles.h); a file elsewhere (one
// the user chose) is read as it is.
std::shared_ptr<NSData> contentsOfLocalGifFile(const std::string& path);
