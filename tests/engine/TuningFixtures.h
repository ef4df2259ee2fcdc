#pragma once

// Small Scala files the tuning tests share.

#include "Tuning.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tuningfixtures
{
inline constexpr const char* edo19 = "! edo19.scl\n!\n19 equal divisions of the octave\n 19\n!\n 63.157895\n 126.315789\n 189.473684\n 252.631579\n 315.789474\n 378.947368\n 442.105263\n 505.263158\n 568.421053\n 631.578947\n 694.736842\n 757.894737\n 821.052632\n 884.210526\n 947.368421\n 1010.526316\n 1073.684211\n 1136.842105\n 2/1\n";

/** 24 equal: every key a whole number of quarter tones, which MIDI tuning messages hold exactly. */
inline constexpr const char* edo24 = "24 equal\n24\n50.0\n100.0\n150.0\n200.0\n250.0\n300.0\n350.0\n400.0\n450.0\n500.0\n550.0\n600.0\n"
                                     "650.0\n700.0\n750.0\n800.0\n850.0\n900.0\n950.0\n1000.0\n1050.0\n1100.0\n1150.0\n2/1\n";

inline constexpr const char* just7 = "! just7.scl\nJust major, seven notes\n7\n9/8\n5/4\n4/3\n3/2\n5/3\n15/8\n2/1\n";

/** The seven notes on the white keys, middle C at 261.6256 Hz; black keys unmapped. */
inline constexpr const char* whiteKeys = "! white.kbm\n12\n0\n127\n60\n60\n261.6256\n7\n"
                                         "0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n6\n";

/** Equal temperament's first seven degrees on the white keys. */
inline constexpr const char* whiteKeys12 = "12\n0\n127\n60\n60\n261.6256\n12\n0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n6\n";

/** The table of a scale and a mapping (nullptr: none); false when either is refused. */
inline bool build (const char* scl, const char* kbm, KeyTuning& tuning)
{
    Scala::Scale scale;
    Scala::KeyboardMapping mapping;
    Scala::Error error;
    if (scl != nullptr && ! Scala::parseScale (scl, scale, error))
        return false;
    if (kbm != nullptr && ! Scala::parseKeyboardMapping (kbm, mapping, error))
        return false;
    return Scala::buildKeyTuning (scl != nullptr ? &scale : nullptr, kbm != nullptr ? &mapping : nullptr, tuning, error);
}

namespace mts
{
/** xx yy zz of a pitch, to the nearest 100/16384 cent. */
inline void encode (double pitch, std::vector<uint8_t>& out)
{
    int semitone = (int) std::floor (pitch);
    int fraction = (int) std::lround ((pitch - semitone) * 16384.0);
    if (fraction == 16384)
    {
        ++semitone;
        fraction = 0;
    }
    out.push_back ((uint8_t) semitone);
    out.push_back ((uint8_t) (fraction >> 7));
    out.push_back ((uint8_t) (fraction & 0x7f));
}

/** A bulk dump (08 01, or 08 04 with a bank) of a table; checksumDelta spoils the checksum. */
inline std::vector<uint8_t> bulkDump (const KeyTuning& t, bool bank = false, int checksumDelta = 0)
{
    std::vector<uint8_t> m { 0xf0, 0x7e, 0x7f, 0x08, (uint8_t) (bank ? 0x04 : 0x01) };
    if (bank)
        m.push_back (0);
    m.push_back (5); // tuning program
    for (char c : std::string ("Test tuning     "))
        m.push_back ((uint8_t) c);
    for (int k = 0; k < KeyTuning::numKeys; ++k)
        encode (t.pitch[k], m);
    uint8_t sum = 0;
    for (size_t i = 1; i < m.size(); ++i)
        sum ^= m[i];
    m.push_back ((uint8_t) (((sum & 0x7f) + checksumDelta) & 0x7f));
    m.push_back (0xf7);
    return m;
}

/** A single-note change (08 02 real time; with a bank 08 07, real time or not). */
inline std::vector<uint8_t> noteChange (const std::vector<std::pair<int, double>>& keys, bool bank = false, bool realTime = true)
{
    std::vector<uint8_t> m { 0xf0, (uint8_t) (realTime ? 0x7f : 0x7e), 0x00, 0x08, (uint8_t) (bank ? 0x07 : 0x02) };
    if (bank)
        m.push_back (0);
    m.push_back (0);
    m.push_back ((uint8_t) keys.size());
    for (auto [key, pitch] : keys)
    {
        m.push_back ((uint8_t) key);
        encode (pitch, m);
    }
    m.push_back (0xf7);
    return m;
}

/** A scale/octave tuning of twelve offsets in cents (08 08 one byte, 08 09 two bytes), all channels. */
inline std::vector<uint8_t> scaleOctave (const double (&cents)[12], bool twoBytes, bool realTime)
{
    std::vector<uint8_t> m { 0xf0, (uint8_t) (realTime ? 0x7f : 0x7e), 0x7f, 0x08, (uint8_t) (twoBytes ? 0x09 : 0x08), 0x03, 0x7f, 0x7f };
    for (double c : cents)
    {
        if (twoBytes)
        {
            const int v = (int) std::lround (c * 8192.0 / 100.0) + 8192;
            m.push_back ((uint8_t) (v >> 7));
            m.push_back ((uint8_t) (v & 0x7f));
        }
        else
            m.push_back ((uint8_t) (std::lround (c) + 64));
    }
    m.push_back (0xf7);
    return m;
}
} // namespace mts
} // namespace tuningfixtures
