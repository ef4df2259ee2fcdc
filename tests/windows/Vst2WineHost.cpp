// A minimal VST 2.4 host for the Windows library under Wine: loads the DLL, checks the effect
// record and identity, round-trips the chunk, renders a few scenes and opens the editor. Built natively
// it drives the Linux library through the same calls, so the two renders can be compared.
//   vst2_wine_host PLUGIN [--write FILE] [--compare FILE] [--chunk FILE] [--parameters] [--editor [--screenshot FILE.bmp]]
// Prints one line per check; the exit status is the number of failures.
#include "../host/Vst2Calls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#ifdef _WIN32
 #include <windows.h>
#else
 #include <dlfcn.h>
 #include <unistd.h>
#endif

namespace
{
using namespace vst2;

constexpr int offlineProcessLevel = 4;

constexpr int block = 512;
int failures = 0;
int midiOutEvents = 0;

void check (bool ok, const std::string& what)
{
    std::printf ("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush (stdout);
    failures += ok ? 0 : 1;
}

template <typename A, typename B>
void checkEqual (const A& actual, const B& wanted, const std::string& what)
{
    const bool ok = actual == wanted;
    if constexpr (std::is_arithmetic_v<A>)
        check (ok, what + " = " + std::to_string (actual) + (ok ? "" : " (wanted " + std::to_string (wanted) + ")"));
    else
        check (ok, what + " = \"" + std::string (actual) + "\"" + (ok ? "" : " (wanted \"" + std::string (wanted) + "\")"));
}

t_fstPtrInt hostCallback (AEffect*, int opcode, int, t_fstPtrInt, void* ptr, float)
{
    switch (opcode)
    {
        case audioMasterVersionOp: return 2400;
        // An offline renderer: state loaded off the plug-in's message thread (the Linux case) then
        // reaches the engine at once instead of through its notifier, so both renders are deterministic.
        case audioMasterGetCurrentProcessLevelOp: return offlineProcessLevel;
        case audioMasterProcessEventsOp:
            midiOutEvents += static_cast<t_fstEvents*> (ptr)->numEvents;
            return 1;
        default: return 0;
    }
}

struct Library
{
    explicit Library (const char* path)
    {
       #ifdef _WIN32
        handle = LoadLibraryA (path);
       #else
        handle = dlopen (path, RTLD_NOW | RTLD_LOCAL);
       #endif
    }

    EntryPoint symbol (const char* name) const
    {
       #ifdef _WIN32
        return reinterpret_cast<EntryPoint> (reinterpret_cast<void*> (GetProcAddress ((HMODULE) handle, name)));
       #else
        return reinterpret_cast<EntryPoint> (dlsym (handle, name));
       #endif
    }

    void* handle = nullptr;
};

using Host = vst2::Effect;

void checkIdentity (Host& host)
{
    auto* e = host.effect;
    checkEqual (e->magic, 0x56737450, "magic 'VstP'");
    checkEqual (e->numPrograms, 1, "programs");
    checkEqual (e->numParams, 66, "parameters");
    checkEqual (e->numInputs, 2, "inputs");
    checkEqual (e->numOutputs, 2, "outputs");
    checkEqual (e->initialDelay, 0, "initial delay");
    checkEqual (e->uniqueID, vst2::uniqueId, "unique ID 'vDrb'");
    checkEqual (e->version, vst2::version, "version");
    checkEqual (e->flags & vst2::requiredFlags, vst2::requiredFlags, "flags (editor, replacing, chunks, synth, no sound in stop)");

    checkEqual (host.text (effGetEffectNameOp), "VRO Drubbel", "effect name");
    checkEqual (host.text (effGetProductStringOp), "VRO Drubbel", "product");
    checkEqual (host.text (effGetVendorStringOp), "VRO-Velmora", "vendor");
    checkEqual ((long long) host.dispatch (effGetVendorVersionOp), 100LL, "vendor version");

    for (const auto& c : vst2::canDoAnswers)
        checkEqual ((long long) host.dispatch (effCanDoOp, 0, 0, (void*) c.what), (long long) c.answer,
                    std::string ("canDo ") + c.what);

    checkEqual (host.text (effGetParamNameOp, 1), "Volume", "parameter 1 name");
    checkEqual (host.text (effGetParamDisplayOp, 1), "0.50", "parameter 1 text");
    checkEqual (host.text (effGetParamLabelOp, 1), "", "parameter 1 label");
    checkEqual ((long long) host.dispatch (effGetProgramOp), 0LL, "current program");
    checkEqual (host.text (effGetProgramNameIndexedOp, 0), "default", "program 0 name");
}

bool writeBytes (const std::string& path, const void* data, size_t size)
{
    std::ofstream out (path, std::ios::binary);
    out.write ((const char*) data, (std::streamsize) size);
    return out.good();
}

void checkChunk (Host& host, const std::string& chunkPath)
{
    auto* e = host.effect;
    e->setParameter (e, 26, 0.25f);
    e->setParameter (e, 27, 0.75f);

    void* data = nullptr;
    const auto size = host.dispatch (effGetChunkOp, 0, 0, &data);
    check (size > 8 && data != nullptr, "chunk of " + std::to_string ((long long) size) + " bytes");
    if (size <= 8 || data == nullptr)
        return;
    std::vector<char> saved ((const char*) data, (const char*) data + size);
    if (! chunkPath.empty())
        check (writeBytes (chunkPath, saved.data(), saved.size()), "chunk written to " + chunkPath);
    check (std::string (saved.begin(), saved.end()).find ("filtercutoff=\"0.25\"") != std::string::npos,
           "chunk holds filtercutoff=\"0.25\"");

    e->setParameter (e, 26, 0.9f);
    e->setParameter (e, 27, 0.1f);
    host.dispatch (effSetChunkOp, 0, (t_fstPtrInt) saved.size(), saved.data());
    check (e->getParameter (e, 26) == 0.25f && e->getParameter (e, 27) == 0.75f, "set chunk restores cutoff and resonance");

    void* again = nullptr;
    const auto size2 = host.dispatch (effGetChunkOp, 0, 0, &again);
    check (size2 == size && again != nullptr && std::memcmp (again, saved.data(), (size_t) size) == 0,
           "chunk reads back byte for byte");
}

/** A note message at a block and a sample offset in it. */
struct NoteEvent
{
    int block, status, note, velocity, offset;
};

/** Parameters set, then notes played for a number of blocks; the scenes run one after another in
    one instance, each starting from where the last one left the plug-in. */
struct Scene
{
    const char* name;
    std::vector<std::pair<int, float>> parameters;
    std::vector<NoteEvent> notes;
    int blocks;
};

// Settings whose conversions go through pow (volume, resonance, filter envelope and modulation,
// vibrato depth, LFO and free step rates) and the tables (band-limited steps, LFO sine), at values
// where C libraries disagree in the last bit.
const Scene kScenes[] = {
    // Note 48 from sample 10, released after half a second: attack, sustain and release of the
    // start-up sound with the cutoff and resonance the chunk left.
    { "start-up note", {}, { { 0, 0x90, 48, 100, 10 }, { 43, 0x80, 48, 0, 30 } }, 60 },
    { "held note at volume 0.4076", { { 1, 0.4076f } }, { { 0, 0x90, 48, 100, 0 }, { 86, 0x80, 48, 0, 0 } }, 90 },
    { "poly chord, vibrato, filter envelope and modulation",
      { { 8, 1.0f }, { 15, 0.15f }, { 10, 0.42f }, { 11, 0.0f }, { 20, 0.6f }, { 27, 0.83f }, { 28, 0.61f }, { 29, 0.37f }, { 1, 0.5f } },
      { { 0, 0x90, 48, 100, 0 }, { 0, 0x90, 52, 90, 7 }, { 1, 0x90, 55, 80, 0 }, { 2, 0x90, 59, 70, 300 },
        { 40, 0x80, 48, 0, 0 }, { 40, 0x80, 52, 0, 1 }, { 40, 0x80, 55, 0, 2 }, { 40, 0x80, 59, 0, 3 } },
      60 },
    { "arpeggio at a free tempo, sine LFO on the vibrato",
      { { 8, 0.0f }, { 15, 0.7f }, { 11, 0.0f }, { 10, 0.77f }, { 49, 1.0f }, { 46, 0.0f }, { 47, 0.63f }, { 50, 0.5f } },
      { { 0, 0x90, 48, 100, 0 }, { 0, 0x90, 55, 100, 0 }, { 1, 0x90, 60, 100, 0 },
        { 50, 0x80, 48, 0, 0 }, { 50, 0x80, 55, 0, 0 }, { 50, 0x80, 60, 0, 0 } },
      70 },
};

std::vector<float> render (Host& host)
{
    auto* e = host.effect;

    std::vector<float> inL (block), inR (block), outL (block), outR (block), result;
    float* ins[] = { inL.data(), inR.data() };
    float* outs[] = { outL.data(), outR.data() };

    for (const auto& scene : kScenes)
    {
        for (const auto& [index, value] : scene.parameters)
            e->setParameter (e, index, value);
        const size_t from = result.size();
        bool finite = true, identical = true;
        for (int b = 0; b < scene.blocks; ++b)
        {
            for (const auto& n : scene.notes)
                if (n.block == b)
                    host.sendMidi (n.status, n.note, n.velocity, n.offset);
            e->processReplacing (e, ins, outs, block);
            for (int i = 0; i < block; ++i)
            {
                finite = finite && std::isfinite (outL[(size_t) i]) && std::isfinite (outR[(size_t) i]);
                identical = identical && outL[(size_t) i] == outR[(size_t) i];
            }
            result.insert (result.end(), outL.begin(), outL.end());
        }

        double energy = 0.0, peak = 0.0;
        for (size_t i = from; i < result.size(); ++i)
        {
            energy += (double) result[i] * result[i];
            peak = std::fmax (peak, std::fabs ((double) result[i]));
        }
        char figures[96];
        std::snprintf (figures, sizeof figures, "energy %.6g, peak %.6g", energy, peak);
        const std::string name = std::string (scene.name) + ": ";
        check (finite, name + "rendered output is finite");
        check (identical, name + "left and right are the same signal");
        check (energy > 1.0e-3, name + "audible, " + figures);
        if (&scene == &kScenes[0])
            checkEqual (midiOutEvents, 0, "MIDI events sent back to the host");
    }
    host.dispatch (effMainsChangedOp, 0, 0);
    return result;
}

#ifdef _WIN32
/** Copies what the window shows into a 24-bit BMP (empty path: no file) and counts its colours, so
    a window that opened but never painted is told from one that shows the panel. */
size_t captureWindow (HWND window, const std::string& path)
{
    RECT area {};
    GetClientRect (window, &area);
    const int width = area.right, height = area.bottom;
    if (width <= 0 || height <= 0)
        return 0;

    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof (BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;

    HDC source = GetDC (window);
    HDC memory = CreateCompatibleDC (source);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection (memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    size_t colours = 0;
    if (bitmap != nullptr)
    {
        HGDIOBJ previous = SelectObject (memory, bitmap);
        BitBlt (memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const unsigned char*> (bits);

        std::vector<unsigned> seen;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const unsigned char* p = pixels + (size_t) y * (size_t) stride + (size_t) x * 3;
                seen.push_back ((unsigned) p[0] | ((unsigned) p[1] << 8) | ((unsigned) p[2] << 16));
            }
        std::sort (seen.begin(), seen.end());
        colours = (size_t) (std::unique (seen.begin(), seen.end()) - seen.begin());

        if (! path.empty())
        {
            BITMAPFILEHEADER file {};
            file.bfType = 0x4D42; // "BM"
            file.bfOffBits = sizeof (BITMAPFILEHEADER) + sizeof (BITMAPINFOHEADER);
            file.bfSize = file.bfOffBits + (DWORD) (stride * height);
            std::ofstream out (path, std::ios::binary);
            out.write ((const char*) &file, sizeof file);
            out.write ((const char*) &info.bmiHeader, sizeof info.bmiHeader);
            out.write ((const char*) pixels, (std::streamsize) stride * height);
        }
        SelectObject (memory, previous);
        DeleteObject (bitmap);
    }
    DeleteDC (memory);
    ReleaseDC (window, source);
    return colours;
}

void checkEditor (Host& host, const std::string& screenshotPath)
{
    ERect* rect = nullptr;
    host.dispatch (effEditGetRectOp, 0, 0, &rect);
    check (rect != nullptr && rect->right - rect->left == 1062 && rect->bottom - rect->top == 517,
           rect == nullptr ? std::string ("editor size unknown")
                           : "editor size " + std::to_string (rect->right - rect->left) + " x " + std::to_string (rect->bottom - rect->top));

    WNDCLASSA windowClass {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA (nullptr);
    windowClass.lpszClassName = "VroWineHostWindow";
    RegisterClassA (&windowClass);
    HWND window = CreateWindowA ("VroWineHostWindow", "VRO Drubbel", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 1100, 600, nullptr, nullptr, windowClass.hInstance, nullptr);
    check (window != nullptr, "host window created");
    if (window == nullptr)
        return;

    host.dispatch (effEditOpenOp, 0, 0, window);
    HWND child = GetWindow (window, GW_CHILD);
    RECT area {};
    if (child != nullptr)
        GetClientRect (child, &area);
    check (child != nullptr, "editor window opened inside the host's: " + std::to_string (area.right) + " x " + std::to_string (area.bottom));

    // A second of the host's message loop: painting, timers and idle calls.
    for (int i = 0; i < 50; ++i)
    {
        MSG message;
        while (PeekMessageA (&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage (&message);
            DispatchMessageA (&message);
        }
        host.dispatch (effEditIdleOp);
        Sleep (20);
    }
    if (child != nullptr)
    {
        // The panel bitmaps have thousands of colours; an unpainted window has one or two.
        const size_t colours = captureWindow (child, screenshotPath);
        check (colours > 256, "editor painted: " + std::to_string (colours) + " colours"
                                  + (screenshotPath.empty() ? std::string() : ", saved to " + screenshotPath));
    }
    host.dispatch (effEditCloseOp);
    check (GetWindow (window, GW_CHILD) == nullptr, "editor closed and its window removed");
    DestroyWindow (window);
}
#endif

bool writeSamples (const std::string& path, const std::vector<float>& samples)
{
    return writeBytes (path, samples.data(), samples.size() * sizeof (float));
}

void compareWith (const std::string& path, const std::vector<float>& samples)
{
    std::ifstream in (path, std::ios::binary);
    std::vector<float> reference (samples.size() + 1);
    in.read ((char*) reference.data(), (std::streamsize) (reference.size() * sizeof (float)));
    reference.resize ((size_t) in.gcount() / sizeof (float));
    if (reference.size() != samples.size())
    {
        check (false, "reference " + path + " holds " + std::to_string (reference.size()) + " samples, not " + std::to_string (samples.size()));
        return;
    }
    // The same arithmetic gives the same bits: tolerance 0.
    double largest = 0.0;
    size_t where = 0, differing = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (std::memcmp (&samples[i], &reference[i], sizeof (float)) != 0)
            ++differing;
        const double d = std::fabs ((double) samples[i] - (double) reference[i]);
        if (d > largest)
        {
            largest = d;
            where = i;
        }
    }
    char figures[160];
    std::snprintf (figures, sizeof figures, "%zu of %zu samples bit for bit as the reference render (largest difference %.3g at sample %zu)",
                   samples.size() - differing, samples.size(), largest, where);
    check (differing == 0, figures);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s PLUGIN [--write FILE] [--compare FILE] [--chunk FILE] [--parameters] [--editor [--screenshot FILE.bmp]]\n", argv[0]);
        return 2;
    }
    std::string writePath, comparePath, chunkPath, screenshotPath;
    bool editor = false, listParameters = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--write" && i + 1 < argc)
            writePath = argv[++i];
        else if (arg == "--compare" && i + 1 < argc)
            comparePath = argv[++i];
        else if (arg == "--chunk" && i + 1 < argc)
            chunkPath = argv[++i];
        else if (arg == "--screenshot" && i + 1 < argc)
            screenshotPath = argv[++i];
        else if (arg == "--parameters")
            listParameters = true;
        else if (arg == "--editor")
            editor = true;
    }

#ifndef _WIN32
    // A throw-away home, as on a fresh Windows profile: the start-up program is the built-in one.
    char folder[] = "/tmp/vro-vst2-home-XXXXXX";
    if (mkdtemp (folder) == nullptr)
        return 2;
    setenv ("HOME", folder, 1);
    setenv ("XDG_CONFIG_HOME", (std::string (folder) + "/.config").c_str(), 1);
#endif

    Library library (argv[1]);
    check (library.handle != nullptr, std::string ("loaded ") + argv[1]);
    if (library.handle == nullptr)
        return failures;
    const auto entry = library.symbol ("VSTPluginMain");
    check (entry != nullptr, "VSTPluginMain exported");
    check (library.symbol ("main") != nullptr, "main exported");
    if (entry == nullptr)
        return failures;

    Host host { entry (hostCallback) };
    check (host.effect != nullptr, "VSTPluginMain returned an effect");
    if (host.effect == nullptr)
        return failures;
    host.dispatch (effOpenOp);

    checkIdentity (host);
    // Resumed before the chunk is set: the plug-in reads the process level when it resumes.
    host.dispatch (effSetSampleRateOp, 0, 0, nullptr, 44100.0f);
    host.dispatch (effSetBlockSizeOp, 0, block);
    host.dispatch (effMainsChangedOp, 0, 1);
    checkChunk (host, chunkPath);
    if (listParameters)
        for (int i = 0; i < host.effect->numParams; ++i)
            std::printf ("param %2d %-16s %.9g \"%s\"\n", i, host.text (effGetParamNameOp, i).c_str(),
                         (double) host.effect->getParameter (host.effect, i), host.text (effGetParamDisplayOp, i).c_str());
    const auto samples = render (host);
    {
        // FNV-1a over the samples' bits, for the logs of the two platforms to be read side by side.
        unsigned long long h = 14695981039346656037ull;
        for (float x : samples)
        {
            unsigned int bits;
            std::memcpy (&bits, &x, sizeof bits);
            for (int i = 0; i < 4; ++i)
                h = (h ^ ((bits >> (8 * i)) & 0xffu)) * 1099511628211ull;
        }
        std::printf ("render of %zu samples, checksum %016llx\n", samples.size(), h);
    }
    if (! writePath.empty())
        check (writeSamples (writePath, samples), "render written to " + writePath);
    if (! comparePath.empty())
        compareWith (comparePath, samples);
#ifdef _WIN32
    if (editor)
        checkEditor (host, screenshotPath);
#else
    (void) editor;
#endif

    host.dispatch (effCloseOp);
    std::printf ("%d failure(s)\n", failures);
    std::fflush (stdout);
#ifndef _WIN32
    std::system ((std::string ("rm -rf '") + folder + "'").c_str());
#endif
    std::_Exit (failures); // the framework is not unloaded; hosts keep the library until they quit
}
