// What many instances of an LV2 instrument cost a host, measured as a small lilv host sees it: it
// creates N instances one after another at 48 kHz, then runs 256-frame blocks of silence in real
// time (a block, then sleep until the next one is due) and looks at the CPU time of the threads
// the plug-ins started (everything but this program's own thread).
//
//   instances_bench URI [--instances N] [--idle-seconds S] [--first-only] [--per-thread]
//
// Prints one line of "key=value" figures:
//   first_ms       creating the first instance (loading its library included)
//   further_ms     mean time to create each further instance (max in further_max_ms)
//   block_us       median time of one idle block on this thread, over all instances
//   background_ms  CPU of the plug-in's threads while idle, ms per second per instance
//   threads        the plug-in's threads at the end of the idle phase
// --first-only creates one instance and ends: callgrind counts that with
// --toggle-collect=lilv_plugin_instantiate. --per-thread prints each thread's CPU time at the start
// and the end of the idle phase.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr uint32_t blockFrames = 256;
constexpr uint32_t atomCapacity = 8192;

using Clock = std::chrono::steady_clock;

double msSince (Clock::time_point t)
{
    return std::chrono::duration<double, std::milli> (Clock::now() - t).count();
}

struct Host
{
    static LV2_URID map (LV2_URID_Map_Handle handle, const char* uri)
    {
        auto& uris = static_cast<Host*> (handle)->uris;
        const auto found = uris.find (uri);
        if (found != uris.end())
            return found->second;
        const auto id = (LV2_URID) uris.size() + 1;
        uris.emplace (uri, id);
        names.emplace (id, uri);
        return id;
    }
    static const char* unmap (LV2_URID_Unmap_Handle, LV2_URID id)
    {
        const auto found = names.find (id);
        return found != names.end() ? found->second.c_str() : nullptr;
    }

    static inline std::map<LV2_URID, std::string> names;
    std::map<std::string, LV2_URID> uris;
    LV2_URID_Map mapFeature { this, map };
    LV2_URID_Unmap unmapFeature { this, unmap };
    int32_t minBlock = 1, maxBlock = (int32_t) blockFrames;
    float rate = (float) sampleRate;
    LV2_Options_Option options[4] {
        { LV2_OPTIONS_INSTANCE, 0, map (this, LV2_BUF_SIZE__minBlockLength), sizeof (int32_t), map (this, LV2_ATOM__Int), &minBlock },
        { LV2_OPTIONS_INSTANCE, 0, map (this, LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t), map (this, LV2_ATOM__Int), &maxBlock },
        { LV2_OPTIONS_INSTANCE, 0, map (this, "http://lv2plug.in/ns/ext/parameters#sampleRate"), sizeof (float), map (this, LV2_ATOM__Float), &rate },
        { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
    };
};

/** One instance with its buffers and a worker that runs its jobs between blocks. */
struct Instance
{
    LilvInstance* instance = nullptr;
    std::vector<std::vector<float>> audio;
    std::vector<float> controls;
    std::vector<std::vector<uint8_t>> atoms;
    std::vector<std::pair<LV2_Atom*, bool>> atomPorts; // buffer, is input
    LV2_URID sequenceType = 0, chunkType = 0;
    LV2_Worker_Schedule schedule { this, scheduleWork };
    LV2_Feature scheduleFeature { LV2_WORKER__schedule, &schedule };
    std::deque<std::vector<uint8_t>> jobs, responses;
    const LV2_Worker_Interface* worker = nullptr;

    static LV2_Worker_Status scheduleWork (LV2_Worker_Schedule_Handle h, uint32_t size, const void* data)
    {
        auto* self = static_cast<Instance*> (h);
        const auto* bytes = static_cast<const uint8_t*> (data);
        self->jobs.emplace_back (bytes, bytes + size);
        return LV2_WORKER_SUCCESS;
    }
    static LV2_Worker_Status respond (LV2_Worker_Respond_Handle h, uint32_t size, const void* data)
    {
        auto* self = static_cast<Instance*> (h);
        const auto* bytes = static_cast<const uint8_t*> (data);
        self->responses.emplace_back (bytes, bytes + size);
        return LV2_WORKER_SUCCESS;
    }

    void resetAtoms()
    {
        for (auto& [atom, input] : atomPorts)
        {
            if (input)
            {
                atom->size = sizeof (LV2_Atom_Sequence_Body);
                atom->type = sequenceType;
                reinterpret_cast<LV2_Atom_Sequence*> (atom)->body = { 0, 0 };
            }
            else
            {
                atom->size = atomCapacity - sizeof (LV2_Atom);
                atom->type = chunkType;
            }
        }
    }

    void runBlock()
    {
        resetAtoms();
        lilv_instance_run (instance, blockFrames);
        if (worker == nullptr)
            return;
        while (! jobs.empty())
        {
            auto job = std::move (jobs.front());
            jobs.pop_front();
            worker->work (lilv_instance_get_handle (instance), respond, this, (uint32_t) job.size(), job.data());
        }
        while (! responses.empty())
        {
            auto r = std::move (responses.front());
            responses.pop_front();
            worker->work_response (lilv_instance_get_handle (instance), (uint32_t) r.size(), r.data());
        }
        if (worker->end_run != nullptr)
            worker->end_run (lilv_instance_get_handle (instance));
    }
};

/** CPU time in nanoseconds of every thread of this process but the calling one, and their count;
    with perThread, also each thread's name and time, to stderr. */
std::pair<double, int> otherThreadsCpuNs (bool perThread = false)
{
    const auto self = (long) getpid();
    double total = 0.0;
    int count = 0;
    if (auto* dir = opendir ("/proc/self/task"))
    {
        while (auto* e = readdir (dir))
        {
            const long tid = std::strtol (e->d_name, nullptr, 10);
            if (tid <= 0 || tid == self)
                continue;
            // schedstat's first field is the time on a CPU in nanoseconds; stat's ticks are 10 ms.
            std::ifstream in ("/proc/self/task/" + std::string (e->d_name) + "/schedstat");
            double ns = 0.0;
            if (in >> ns)
            {
                total += ns;
                ++count;
                if (perThread)
                {
                    std::ifstream nameFile ("/proc/self/task/" + std::string (e->d_name) + "/comm");
                    std::string name;
                    std::getline (nameFile, name);
                    std::fprintf (stderr, "  thread %ld %-16s %10.3f ms\n", tid, name.c_str(), ns / 1.0e6);
                }
            }
        }
        closedir (dir);
    }
    return { total, count };
}

int usage()
{
    std::fprintf (stderr, "usage: instances_bench URI [--instances N] [--idle-seconds S] [--first-only] [--per-thread]\n");
    return 2;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string uriText = argv[1];
    int count = 16;
    double idleSeconds = 10.0;
    bool firstOnly = false, perThread = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--instances" && i + 1 < argc)
            count = std::max (1, std::atoi (argv[++i]));
        else if (a == "--idle-seconds" && i + 1 < argc)
            idleSeconds = std::max (0.1, std::atof (argv[++i]));
        else if (a == "--first-only")
            firstOnly = true;
        else if (a == "--per-thread")
            perThread = true;
        else
            return usage();
    }

    auto* world = lilv_world_new();
    lilv_world_load_all (world);
    auto* uri = lilv_new_uri (world, uriText.c_str());
    const auto* plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), uri);
    lilv_node_free (uri);
    if (plugin == nullptr)
    {
        std::fprintf (stderr, "instances_bench: no LV2 plug-in %s on LV2_PATH\n", uriText.c_str());
        return 1;
    }

    Host host;
    auto* audioClass = lilv_new_uri (world, LILV_URI_AUDIO_PORT);
    auto* controlClass = lilv_new_uri (world, LILV_URI_CONTROL_PORT);
    auto* cvClass = lilv_new_uri (world, LILV_URI_CV_PORT);
    auto* atomClass = lilv_new_uri (world, LV2_ATOM__AtomPort);
    auto* inputClass = lilv_new_uri (world, LILV_URI_INPUT_PORT);
    const auto numPorts = lilv_plugin_get_num_ports (plugin);
    std::vector<float> defaults (numPorts, 0.0f);
    lilv_plugin_get_port_ranges_float (plugin, nullptr, nullptr, defaults.data());

    std::vector<std::unique_ptr<Instance>> instances;
    std::vector<double> createMs;
    const auto cpuBefore = otherThreadsCpuNs().first;
    for (int n = 0; n < count; ++n)
    {
        auto inst = std::make_unique<Instance>();
        inst->sequenceType = Host::map (&host, LV2_ATOM__Sequence);
        inst->chunkType = Host::map (&host, LV2_ATOM__Chunk);
        LV2_Feature mapping { LV2_URID__map, &host.mapFeature };
        LV2_Feature unmapping { LV2_URID__unmap, &host.unmapFeature };
        LV2_Feature optionsFeature { LV2_OPTIONS__options, host.options };
        LV2_Feature bounded { LV2_BUF_SIZE__boundedBlockLength, nullptr };
        const LV2_Feature* features[] { &mapping, &unmapping, &optionsFeature, &bounded, &inst->scheduleFeature, nullptr };

        const auto start = Clock::now();
        inst->instance = lilv_plugin_instantiate (plugin, sampleRate, features);
        createMs.push_back (msSince (start));
        if (inst->instance == nullptr)
        {
            std::fprintf (stderr, "instances_bench: %s did not instantiate\n", uriText.c_str());
            return 1;
        }
        if (firstOnly)
        {
            lilv_instance_free (inst->instance);
            std::printf ("first_ms=%.2f\n", createMs[0]);
            return 0;
        }
        inst->worker = static_cast<const LV2_Worker_Interface*> (lilv_instance_get_extension_data (inst->instance, LV2_WORKER__interface));

        inst->controls.assign (numPorts, 0.0f);
        for (uint32_t p = 0; p < numPorts; ++p)
        {
            const auto* port = lilv_plugin_get_port_by_index (plugin, p);
            void* buffer = nullptr;
            if (lilv_port_is_a (plugin, port, audioClass) || lilv_port_is_a (plugin, port, cvClass))
            {
                inst->audio.emplace_back (blockFrames, 0.0f);
                buffer = inst->audio.back().data();
            }
            else if (lilv_port_is_a (plugin, port, controlClass))
            {
                inst->controls[p] = std::isnan (defaults[p]) ? 0.0f : defaults[p];
                buffer = &inst->controls[p];
            }
            else if (lilv_port_is_a (plugin, port, atomClass))
            {
                inst->atoms.emplace_back (atomCapacity, 0);
                auto* atom = reinterpret_cast<LV2_Atom*> (inst->atoms.back().data());
                inst->atomPorts.emplace_back (atom, lilv_port_is_a (plugin, port, inputClass));
                buffer = atom;
            }
            lilv_instance_connect_port (inst->instance, p, buffer);
        }
        lilv_instance_activate (inst->instance);
        instances.push_back (std::move (inst));
    }

    // Settle: the first blocks of an instance may do one-off work.
    for (int b = 0; b < 20; ++b)
        for (auto& inst : instances)
            inst->runBlock();

    std::vector<double> blockUs;
    const auto period = std::chrono::duration<double> (blockFrames / sampleRate);
    const auto blocks = (long) (idleSeconds * sampleRate / blockFrames);
    blockUs.reserve ((size_t) blocks * instances.size());
    const auto [cpuStart, threadsStart] = otherThreadsCpuNs (perThread);
    const auto idleStart = Clock::now();
    auto due = idleStart;
    for (long b = 0; b < blocks; ++b)
    {
        for (auto& inst : instances)
        {
            const auto t = Clock::now();
            inst->runBlock();
            blockUs.push_back (msSince (t) * 1000.0);
        }
        due += std::chrono::duration_cast<Clock::duration> (period);
        std::this_thread::sleep_until (due);
    }
    const double idleWall = msSince (idleStart) / 1000.0;
    const auto [cpuEnd, threadsEnd] = otherThreadsCpuNs (perThread);
    (void) threadsStart;

    std::sort (blockUs.begin(), blockUs.end());
    double further = 0.0, furtherMax = 0.0;
    for (size_t i = 1; i < createMs.size(); ++i)
    {
        further += createMs[i];
        furtherMax = std::max (furtherMax, createMs[i]);
    }
    if (createMs.size() > 1)
        further /= (double) (createMs.size() - 1);

    std::printf ("instances=%d first_ms=%.2f further_ms=%.3f further_max_ms=%.3f block_us=%.2f "
                 "background_ms=%.4f threads=%d startup_cpu_ms=%.1f\n",
                 count, createMs[0], further, furtherMax, blockUs[blockUs.size() / 2],
                 (cpuEnd - cpuStart) / 1.0e6 / idleWall / count, threadsEnd, (cpuStart - cpuBefore) / 1.0e6);

    for (auto& inst : instances)
    {
        lilv_instance_deactivate (inst->instance);
        lilv_instance_free (inst->instance);
    }
    for (auto* node : { audioClass, controlClass, cvClass, atomClass, inputClass })
        lilv_node_free (node);
    lilv_world_free (world);
    return 0;
}
