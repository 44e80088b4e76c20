// The Windows resource script of menu 103, dialog template 103 and icon 101, written from
// the one definition in resource_tables.h, so that the Windows build and the Linux backend
// cannot drift apart.
#pragma once

#include <string>
#include <string_view>

// The text of the .rc file. `iconPath` is the .ico file that the ICON statement names.
std::string ResourceScript(std::string_view iconPath);

// A string literal as the resource compiler reads it: quoted, with quotes doubled and
// backslashes, tabs and newlines escaped.
std::string ResourceString(std::string_view text);
