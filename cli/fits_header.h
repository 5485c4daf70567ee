// FITS header cards as text: what an output inherits from its input's header,
// and the checksums of the FITS standard's ones' complement arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t kCardLength = 80;
inline constexpr std::size_t kFitsBlock = 2880;

// The keyword of an 80-character card, without trailing blanks.
std::string CardKeyword(const std::string& cards, std::size_t offset);

// The cards of `header` (80-character cards, no END) that an image made from
// it keeps: all but those describing the stored data (SIMPLE, XTENSION,
// BITPIX, NAXISn, EXTEND, PCOUNT, GCOUNT, BSCALE, BZERO, BLANK, DATAMIN,
// DATAMAX, INHERIT, DATE, checksums, tile-compression and table keywords) and those
// named in `replaced`. EPOCH becomes EQUINOX, its current name.
std::string InheritedCards(const std::string& header, const std::vector<std::string>& replaced);

// Ones' complement sum of big-endian 32-bit words, as CHECKSUM and DATASUM
// use it.
std::uint32_t AddOnesComplement(std::uint32_t a, std::uint32_t b);
std::uint32_t BigEndianWordSum(const unsigned char* bytes, std::size_t size);  // size % 4 == 0
// The sum of single-precision samples as stored in FITS: each sample is one
// big-endian word whose value is its bit pattern.
std::uint32_t FloatDataSum(const float* samples, std::size_t count);
