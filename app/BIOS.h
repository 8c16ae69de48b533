// Small routines of the application: the logon user's name, a file's base name, one
// switch from the INI file beside the executable, and one item of a file's version
// resource as text. None of them raises an error or writes anything.
#pragma once

#include <string>

// The executable's full path with its extension replaced by ".ini". Worked out on the
// first call (a function-local static, so it does not matter which module's static
// initialisation asks first) and the same for the rest of the run.
const std::string &ProgramIniPath();

// Version resource items, each with its leading backslash: 0 "\CompanyName" ...
// 7 "\ProductVersion".
extern const char *const VersionItems[8];

// The Windows user's logon name; empty when the platform cannot tell.
std::string GetLogonUserName();

// The file-name part of a path (after the last "\", "/" or ":"), without its last
// extension: C:\Tools\a.b.c gives a.b. Double-byte CP932 characters are kept whole.
std::string ExtractBaseName(const std::string &fileName);

// fileName with the extension of its file-name part replaced by ext (which includes its
// dot); a name without extension gets ext appended.
std::string ChangeFileExt(const std::string &fileName, const std::string &ext);

// Key in Section of the INI file at ProgramIniPath() as an integer (decimal, "0x" or "$"
// hexadecimal): true when not 0. A missing file, section or key, or a value that is no
// integer, gives def.
bool ReadIniBool(const std::string &section, const std::string &key, bool def);

// "<Item> : <text>" for VersionItems[index] of the file's version resource (index 2,
// FileVersion, when index is not 0-7); "<Item> : None" when the resource lacks the item;
// "unidentified" when the file has no version resource.
std::string GetVersionInfoText(const std::string &fileName, int index);
