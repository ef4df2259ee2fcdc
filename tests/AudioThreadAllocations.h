#pragma once

// Counts what the audio thread allocates: a counting allocator for the whole test program (include
// this header in one file per program) and a player that renders notes on a thread of its own.

#include "core/PresetTestSupport.h"

#include <cstdlib>
#include <functional>
#include <new>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

// AddressSanitizer and ThreadSanitizer bring their own malloc and operator new and cannot share the
// process with a replacement: the sanitizer runs leave allocation counting to the ordinary build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VRO_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VRO_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef VRO_COUNTS_ALLOCATIONS
#define VRO_COUNTS_ALLOCATIONS 1
#endif

#if VRO_COUNTS_ALLOCATIONS
namespace
{
// Per thread: the processor's own threads (the notifier) may allocate while a block renders.
thread_local bool countingAllocations = false;
thread_local long allocationCount = 0;
thread_local long writeCount = 0;

// Counted once, by the malloc below, which operator new reaches too.
void* allocate (std::size_t size)
{
    if (void* p = std::malloc (size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Posting a message from the audio thread takes the queue's lock, may allocate and writes to a
// socket on Linux: writes in the armed stretches count as well.
extern "C" ssize_t write (int fd, const void* data, size_t size)
{
    if (countingAllocations)
        ++writeCount;
    return syscall (SYS_write, fd, data, size);
}

// The framework's own blocks (a MidiMessage longer than a pointer, array storage) come from malloc
// directly, not from operator new: those count too.
extern "C" void* __libc_malloc (size_t);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);

extern "C" void* malloc (size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_malloc (size);
}

extern "C" void* calloc (size_t count, size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_calloc (count, size);
}

extern "C" void* realloc (void* p, size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_realloc (p, size);
}

// The whole test program allocates through these; only the armed stretches count.
void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
struct ChangeCounter : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++calls; }
    int calls = 0;
};

using ExtraEvents = std::function<void (int block, juce::MidiBuffer&)>;

/** Renders a sequence of notes in 256-sample blocks on a thread of its own, as a host's audio
    thread, while this thread delivers messages; counts allocations inside processBlock only. */
long allocationsWhilePlaying (VroCore& processor, int seconds, const ExtraEvents& extra = {})
{
    constexpr double rate = 44100.0;
    constexpr int blockSize = 256;
    RenderSession session (processor, rate, blockSize, 120.0);
    processor.setNonRealtime (false);

    std::atomic<long> count { 0 };
    std::atomic<bool> done { false };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, blockSize);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        const int blocks = (int) (seconds * rate) / blockSize;
        for (int b = 0; b < blocks; ++b)
        {
            midi.clear();
            if (b % 20 == 0)
                for (int k = 0; k < 6; ++k)
                    midi.addEvent (juce::MidiMessage::noteOn (1, 40 + (b / 20 * 5 + k * 4) % 36, (juce::uint8) (60 + k * 10)), 7 * k);
            if (b % 20 == 15)
                for (int k = 0; k < 6; ++k)
                    midi.addEvent (juce::MidiMessage::noteOff (1, 40 + (b / 20 * 5 + k * 4) % 36), 3 * k);
            if (b % 7 == 3)
                midi.addEvent (juce::MidiMessage::pitchWheel (1, (b * 977) % 16384), 11);
            if (b % 50 == 25)
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, b % 100 < 50 ? 127 : 0), 0);
            if (extra)
                extra (b, midi);

            allocationCount = writeCount = 0;
            countingAllocations = true;
            processor.processBlock (block, midi);
            countingAllocations = false;
            count += allocationCount + writeCount;
            if (b % 8 == 0)
                std::this_thread::sleep_for (std::chrono::milliseconds (1)); // the message thread gets its turn
        }
        done = true;
    });
    while (! done)
        test::deliverMessages (2);
    audio.join();
    test::deliverMessages (50);
    return count;
}
} // namespace
#endif
