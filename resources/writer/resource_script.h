// The Windows resource script of menu 103, dialog template 103 and icon 101, written from
// the one definition in resource_tables.h, so that the Windows build and the Linux backend
// cannot drift apart; with them the application manifest and the version resource.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text of the .rc file. `iconPath` is the .ico file that the ICON statement names,
// `manifestPath` the file holding ApplicationManifest().
std::string ResourceScript(std::string_view iconPath, std::string_view manifestPath);

// The manifest embedded in kinaro.exe: the UTF-8 ANSI code page (file names in any script
// reach the program through the ...A functions), per-monitor DPI awareness (frames drawn pixel
// for pixel, never stretched by the system), common controls 6 and the supported systems.
std::string ApplicationManifest();

// KinaroVersion padded to four numbers joined by `separator`: "1.62.0.0", "1,62,0,0".
std::string FourPartVersion(char separator);

// The strings of the version resource, in the order written.
struct VersionString {
    std::string Key, Value;
};
std::vector<VersionString> KinaroVersionStrings();

// A string literal as the resource compiler reads it: quoted, with quotes doubled and
// backslashes, tabs and newlines escaped.
std::string ResourceString(std::string_view text);
