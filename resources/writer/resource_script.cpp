#include "resources/writer/resource_script.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "resources/resource_tables.h"
#include "resources/version.h"

std::string ResourceString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\"\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            default: out += c; break;
        }
    }
    return out + "\"";
}

static std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

static void WriteMenu(std::string& out) {
    out += std::to_string(IDM_KINARO) + " MENU\nBEGIN\n";
    for (int p = 0; p < KinaroMenuPopupCount; ++p) {
        const MenuPopupDefinition& popup = KinaroMenu[p];
        out += "    POPUP " + ResourceString(popup.Text) + (popup.IsHelpPopup ? ", HELP" : "") +
               "\n    BEGIN\n";
        for (int i = 0; i < popup.ItemCount; ++i) {
            const MenuItemDefinition& item = popup.Items[i];
            if (item.Id == 0) {
                out += "        MENUITEM SEPARATOR\n";
            } else {
                out += "        MENUITEM " + ResourceString(item.Text) + ", " +
                       std::to_string(item.Id) + "\n";
            }
        }
        out += "    END\n";
    }
    out += "END\n";
}

// Every style is written in full, with no defaults left to the resource compiler: the
// template must carry exactly the bits of the table.
static void WriteDialog(std::string& out) {
    const DialogDefinition& d = OpenFileTemplate;
    out += std::to_string(IDD_OPENFILE) + " DIALOG " + std::to_string(d.X) + ", " +
           std::to_string(d.Y) + ", " + std::to_string(d.Width) + ", " + std::to_string(d.Height) +
           "\nSTYLE " + Hex(d.Style) + "\nFONT " + std::to_string(d.FontPointSize) + ", " +
           ResourceString(d.FontName) + "\nBEGIN\n";
    for (int i = 0; i < d.ControlCount; ++i) {
        const DialogControlDefinition& c = d.Controls[i];
        out += "    CONTROL " + ResourceString(c.Text) + ", " + std::to_string(c.Id) + ", " +
               ResourceString(c.ClassName) + ", " + Hex(c.Style) + ", " + std::to_string(c.X) +
               ", " + std::to_string(c.Y) + ", " + std::to_string(c.Width) + ", " +
               std::to_string(c.Height) + "\n";
    }
    out += "END\n";
}

std::string ApplicationManifest() {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Kinaro" version=")" +
           FourPartVersion('.') + R"(" processorArchitecture="amd64"/>
  <description>Kinaro Raster Metafile viewer</description>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <!-- Windows Vista, 7, 8, 8.1, and 10 (which also stands for 11) -->
      <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
      <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
      <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
      <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>
      <dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2</dpiAwareness>
      <activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>
    </windowsSettings>
  </application>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
</assembly>
)";
}

// KinaroVersion ("1.62") as the four numbers Windows shows, "1.62.0.0" or "1,62,0,0".
std::string FourPartVersion(char separator) {
    std::string version = KinaroVersion;
    int parts = 1;
    for (char& c : version) {
        if (c == '.') {
            c = separator;
            ++parts;
        }
    }
    for (; parts < 4; ++parts) version += std::string(1, separator) + "0";
    return version;
}

// The version block Explorer's Details tab reads: US English, Unicode (0x0409, 1200).
static void WriteVersionInfo(std::string& out) {
    std::string numbers = FourPartVersion(',');
    out += "1 VERSIONINFO\nFILEVERSION " + numbers + "\nPRODUCTVERSION " + numbers +
           "\nFILEFLAGSMASK 0x3F\nFILEFLAGS 0\nFILEOS 0x40004\nFILETYPE 1\nFILESUBTYPE 0\n"
           "BEGIN\n    BLOCK \"StringFileInfo\"\n    BEGIN\n        BLOCK \"040904B0\"\n"
           "        BEGIN\n";
    for (const VersionString& entry : KinaroVersionStrings())
        out += "            VALUE " + ResourceString(entry.Key) + ", " +
               ResourceString(entry.Value) + "\n";
    out +=
        "        END\n    END\n    BLOCK \"VarFileInfo\"\n    BEGIN\n"
        "        VALUE \"Translation\", 0x0409, 1200\n    END\nEND\n";
}

std::vector<VersionString> KinaroVersionStrings() {
    return {
        {"CompanyName", "Kinaro"},          {"FileDescription", "Kinaro Raster Metafile viewer"},
        {"FileVersion", KinaroVersion},     {"InternalName", "kinaro"},
        {"OriginalFilename", "kinaro.exe"}, {"ProductName", "Kinaro"},
        {"ProductVersion", KinaroVersion},
    };
}

std::string ResourceScript(std::string_view iconPath, std::string_view manifestPath) {
    std::string out =
        "// Written at build time from resources/resource_tables.cpp; do not edit.\n\n"
        "LANGUAGE 0x09, 0x01  // English (United States)\n\n";
    out += std::to_string(IDI_KINARO) + " ICON " + ResourceString(iconPath) + "\n\n";
    WriteMenu(out);
    out += "\n";
    WriteDialog(out);
    // Resource 1 of type 24: the manifest Windows reads when it starts the process.
    out += "\n1 24 " + ResourceString(manifestPath) + "\n\n";
    WriteVersionInfo(out);
    return out;
}
