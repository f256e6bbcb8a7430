// CRC-32 (ISO-HDLC, as zlib and PKZIP compute it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One step over a block: no initial value and no final complement; the
// callers apply both.
std::uint32_t UpdateCRC32(std::uint32_t crc, const void* data, std::size_t length);

// The CRC-32 of a whole file, also stored in `crc`; 0 when the file cannot
// be opened or read (and for an empty file).
std::uint32_t FileCRC32(const std::string& fileName, std::uint32_t& crc);
