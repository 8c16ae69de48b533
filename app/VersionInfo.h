// The program's version resource values, in one place: app/Horolan.rc gives them to the
// Windows resource compiler, and HorolanVersionDescription() (below) gives the same
// values to the generator of the host layer's embedded block and to the tests.
// The file is UTF-8; the resource compiler reads it as such (code page 65001).
#pragma once

#define HL_VER_MAJOR 1
#define HL_VER_MINOR 0
#define HL_VER_RELEASE 7
#define HL_VER_BUILD 16

// The day this version was made: no true server time can lie before it.
#define HL_VER_DATE_YEAR 2026
#define HL_VER_DATE_MONTH 12
#define HL_VER_DATE_DAY 1

#define HL_VER_STR2(x) #x
#define HL_VER_STR(x) HL_VER_STR2(x)
#define HL_VER_NUMBER_TEXT \
  HL_VER_STR(HL_VER_MAJOR) \
  "." HL_VER_STR(HL_VER_MINOR) "." HL_VER_STR(HL_VER_RELEASE) "." HL_VER_STR(HL_VER_BUILD)

#define HL_VER_COMPANYNAME "Fernwick"
#define HL_VER_FILEDESCRIPTION "Horolan 時刻合わせ"
#define HL_VER_FILEVERSION HL_VER_NUMBER_TEXT
#define HL_VER_INTERNALNAME "Horolan"
#define HL_VER_LEGALCOPYRIGHT "Copyright (C) Fernwick"
#define HL_VER_ORIGINALFILENAME "Horolan.exe"
#define HL_VER_PRODUCTNAME "Horolan"
#define HL_VER_PRODUCTVERSION HL_VER_NUMBER_TEXT

// Japanese, code page 932; the string table's name is language then code page in hex.
#define HL_VER_LANGUAGE 0x0411
#define HL_VER_CODEPAGE 0x03A4
#define HL_VER_TABLENAME "041103A4"

// VS_FFI_FILEFLAGSMASK, no flags, VOS_NT_WINDOWS32, VFT_APP
#define HL_VER_FLAGSMASK 0x3F
#define HL_VER_FLAGS 0x0
#define HL_VER_OS 0x40004
#define HL_VER_TYPE 0x1
#define HL_VER_SUBTYPE 0x0

#if defined(__cplusplus) && !defined(RC_INVOKED)
#include "platform/VersionBlock.h"

// The same resource as app/Horolan.rc, item for item and in the same order. The u""
// prefix makes each value UTF-16, whatever the narrow execution character set.
inline versionblock::Description HorolanVersionDescription() {
  versionblock::Description d;
  d.fixed.fileVersion[0] = d.fixed.productVersion[0] = HL_VER_MAJOR;
  d.fixed.fileVersion[1] = d.fixed.productVersion[1] = HL_VER_MINOR;
  d.fixed.fileVersion[2] = d.fixed.productVersion[2] = HL_VER_RELEASE;
  d.fixed.fileVersion[3] = d.fixed.productVersion[3] = HL_VER_BUILD;
  d.fixed.flagsMask = HL_VER_FLAGSMASK;
  d.fixed.flags = HL_VER_FLAGS;
  d.fixed.os = HL_VER_OS;
  d.fixed.type = HL_VER_TYPE;
  d.fixed.subtype = HL_VER_SUBTYPE;
  d.language = HL_VER_LANGUAGE;
  d.codePage = HL_VER_CODEPAGE;
  d.strings = {
      {u"CompanyName", u"" HL_VER_COMPANYNAME},       {u"FileDescription", u"" HL_VER_FILEDESCRIPTION},
      {u"FileVersion", u"" HL_VER_FILEVERSION},       {u"InternalName", u"" HL_VER_INTERNALNAME},
      {u"LegalCopyright", u"" HL_VER_LEGALCOPYRIGHT}, {u"OriginalFilename", u"" HL_VER_ORIGINALFILENAME},
      {u"ProductName", u"" HL_VER_PRODUCTNAME},       {u"ProductVersion", u"" HL_VER_PRODUCTVERSION},
  };
  return d;
}
#endif
