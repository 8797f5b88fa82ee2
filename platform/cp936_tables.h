// Layout of the generated code page 936 tables (cp936_decode_table.cpp and
// cp936_encode_table.cpp, written by tools/cp936/gen_cp936_tables.pl from
// Perl Encode's "cp936", which is the Windows table). Internal to platform/.
#pragma once

#include <cstdint>

namespace ombrelk::platform::cp936 {

inline constexpr char16_t kLeadByte = 0xFFFF;  // marks a lead byte in kByteToUtf16
inline constexpr int kFirstLead = 0x81;
inline constexpr int kLeadCount = 0xFE - 0x81 + 1;
inline constexpr int kFirstTrail = 0x40;
inline constexpr int kTrailCount = 0x100 - 0x40;

// Each byte on its own: the code unit, or kLeadByte for 0x81..0xFE.
extern const char16_t kByteToUtf16[256];

// The code unit of lead L and trail T at
// (L - kFirstLead) * kTrailCount + (T - kFirstTrail); 0 where the pair has no
// character (trail 0x7F and 0xFF).
extern const char16_t kPairToUtf16[kLeadCount * kTrailCount];

// Code unit u encodes as kEncodeBlocks[kEncodeBlockOfPage[u >> 8] * 256 +
// (u & 0xFF)]: 0 for no mapping (U+0000 aside), a value below 0x100 for one
// byte, otherwise lead << 8 | trail. Block 0 is all zero.
extern const uint8_t kEncodeBlockOfPage[256];
extern const uint16_t kEncodeBlocks[];

}  // namespace ombrelk::platform::cp936
