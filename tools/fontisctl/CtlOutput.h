// Console output for fontisctl: UTF-8 text, symbolic result codes, usage errors.
#pragma once

#include <windows.h>

#include <string>

std::string Narrow(const wchar_t* text);
std::string GuidText(const GUID& guid);
// "YUY2" for our subtypes and any other FOURCC subtype, else the GUID.
std::string SubtypeText(const GUID& subtype);
// "0x8000FFFF (E_UNEXPECTED)", or just the hex value when the code has no known name.
std::string DescribeHResult(HRESULT hr);
int UsageError(const char* message, const char* usage);

// Parses a whole decimal number within [min, max]; false on anything else.
bool ParseNumber(const wchar_t* text, long long min, long long max, long long* value);
