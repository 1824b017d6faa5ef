#pragma once
// Helpers of the zip record tests: byte building of records by hand, so the reader is checked
// against layouts it did not write.

#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ziprec {

// The peer runner of all tests, under the names the record tests use.
using CommandResult = testsupport::TCommandResult;
using testsupport::RunCommand;
std::string Quote(const std::string& text);

using testsupport::ReadFile;
using testsupport::WriteFile;

// Little-endian appends.
void Add16(std::string& out, uint16_t value);
void Add32(std::string& out, uint32_t value);

// cp1252 <-> cp437 for the letters the tests use; other bytes above 127 become "_".
std::string Cp1252ToCp437(std::string_view name);
std::string Cp437ToCp1252(std::string_view name);

} // namespace ziprec
