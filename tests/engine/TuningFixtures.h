#pragma once

// Small Scala files the tuning tests share.

#include "Tuning.h"

namespace tuningfixtures
{
inline constexpr const char* edo19 = "! edo19.scl\n!\n19 equal divisions of the octave\n 19\n!\n 63.157895\n 126.315789\n 189.473684\n 252.631579\n 315.789474\n 378.947368\n 442.105263\n 505.263158\n 568.421053\n 631.578947\n 694.736842\n 757.894737\n 821.052632\n 884.210526\n 947.368421\n 1010.526316\n 1073.684211\n 1136.842105\n 2/1\n";

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
} // namespace tuningfixtures
