// Frames of one complete polling cycle with the power system at address 01,
// character for character as they cross the serial line ("\r" is the EOI).
// One frame per line, so that they can be taken as seeds as they stand.
#pragma once

namespace wire {

// The first command of a cycle; the same characters come back as an echo on
// a half-duplex line.
inline constexpr char kCommand42[] = "~210141420000FDB1\r";

// Answers, RTN 00, in command order.
// 0x42: value 50.0, three modules (10.0, 20.0 with one skipped byte AA, 6553.5)
inline constexpr char kAnswer42[] = "~21014100301C0001F40300640000C801AAFFFF00F7A2\r";
// 0x43: three state bytes per module
inline constexpr char kAnswer43[] = "~21014100501A03010203000405060007080900F890\r";
// 0x44: status bytes 00, 01 (fault), FE (no communication, one skipped byte 55)
inline constexpr char kAnswer44[] = "~21014100F0100300000100FE0155FA66\r";
// 0x91: 56 bytes of battery data, 10 to 47
inline constexpr char kAnswer91[] = "~210141009070101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F4041424344454647E625\r";
// 0x95: bytes 0A 0B and the value 100.0
inline constexpr char kAnswer95[] = "~2101410080080A0B03E8FBE4\r";
// 0x9C: three entries of four bytes, 60 to 6B
inline constexpr char kAnswer9C[] = "~21014100501A03606162636465666768696A6BF825\r";
// 0x86: 54 bytes, 80 to B5
inline constexpr char kAnswer86[] = "~21014100E06C808182838485868788898A8B8C8D8E8F909192939495969798999A9B9C9D9E9FA0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5E4C8\r";
// 0xA2: twelve values and the bytes C1 C2 C3
inline constexpr char kAnswerA2[] = "~2101410070360000000101F4FFFF021C0BB8000A27101388000580001234C1C2C3F24C\r";

}  // namespace wire
