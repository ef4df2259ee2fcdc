// Prints the band-limited step table, one value per line, followed by its largest deviation from
// the reference rows that define the step's shape (written to stderr, so stdout stays a plain list).
//
//   blep_table > table.txt

#include "Oscillator.h"

#include <cmath>
#include <cstdio>

namespace
{
struct ReferenceRow { int index; double value; };

constexpr ReferenceRow kReferenceRows[] = {
    { 0, 0.0 },
    { 128, -1.0931489669019356e-4 },
    { 256, 9.409189224243164e-4 },
    { 512, 7.178186904639006e-3 },
    { 768, 7.072687149047852e-4 },
    { 896, -0.18324950337409973 },  // the minimum
    { 1024, 0.4591718018054962 },
    { 1028, 0.49300768971443176 },
    { 1029, 0.5014476180076599 },
    { 1152, 1.0867079496383667 },   // the peak
    { 1280, 0.9620236754417419 },
    { 1536, 0.9917411208152771 },
    { 1792, 0.9989817142486572 },
    { 1920, 1.0001169443130493 },
};
} // namespace

int main()
{
    const double* table = blepTable();
    for (int i = 0; i < kBlepTableLength; ++i)
        std::printf ("%.17g\n", table[i]);

    double worst = 0.0;
    int worstIndex = 0;
    for (const auto& row : kReferenceRows)
    {
        const double deviation = std::abs (table[row.index] - row.value);
        if (deviation > worst)
        {
            worst = deviation;
            worstIndex = row.index;
        }
    }

    int minimumAt = 0, peakAt = 0;
    for (int i = 1; i < kBlepTableLength; ++i)
    {
        if (table[i] < table[minimumAt])
            minimumAt = i;
        if (table[i] > table[peakAt])
            peakAt = i;
    }

    std::fprintf (stderr, "largest deviation from the reference rows: %.3g (index %d)\n", worst, worstIndex);
    std::fprintf (stderr, "minimum at %d, peak at %d, last entry %.9g\n", minimumAt, peakAt, table[kBlepTableLength - 1]);
    return 0;
}
