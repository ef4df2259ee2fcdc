// The VST3 form in a host that holds its own lock while it loads a preset and takes the same lock
// when the plug-in asks it to re-read the parameter values, as Ardour 7.3 does: choosing a preset
// must neither hang that host nor leave it showing the old values. A bare host on the SDK's
// interfaces, without the framework's hosting, which never locks there.
#define INIT_CLASS_IID
#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include "BareHostMain.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Steinberg;

namespace
{
/** A preset's bytes as a host hands them over. */
class Stream : public IBStream
{
public:
    explicit Stream (std::vector<char> b) : bytes (std::move (b)) {}

    tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
    {
        const auto n = (int32) std::min<int64> (numBytes, (int64) bytes.size() - position);
        std::memcpy (buffer, bytes.data() + position, (size_t) std::max<int32> (n, 0));
        position += std::max<int32> (n, 0);
        if (numBytesRead != nullptr)
            *numBytesRead = std::max<int32> (n, 0);
        return kResultOk;
    }
    tresult PLUGIN_API write (void*, int32, int32*) override { return kResultFalse; }
    tresult PLUGIN_API seek (int64 pos, int32 mode, int64* result) override
    {
        const int64 base = mode == kIBSeekSet ? 0 : (mode == kIBSeekCur ? position : (int64) bytes.size());
        if (base + pos < 0 || base + pos > (int64) bytes.size())
            return kResultFalse;
        position = base + pos;
        if (result != nullptr)
            *result = position;
        return kResultOk;
    }
    tresult PLUGIN_API tell (int64* pos) override
    {
        if (pos != nullptr)
            *pos = position;
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
    {
        if (FUnknownPrivate::iidEqual (iid, IBStream::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
        {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    std::vector<char> bytes;
    int64 position = 0;
};

/** The component state of a .vstpreset: the chunk list at the end names the "Comp" chunk. */
std::vector<char> componentChunk (const std::vector<char>& file)
{
    auto read64 = [&file] (size_t at) { int64 v; std::memcpy (&v, file.data() + at, 8); return v; };
    if (file.size() < 48 || std::memcmp (file.data(), "VST3", 4) != 0)
        return {};
    const auto list = (size_t) read64 (40);
    if (list + 8 > file.size() || std::memcmp (file.data() + list, "List", 4) != 0)
        return {};
    int32 entries;
    std::memcpy (&entries, file.data() + list + 4, 4);
    for (int32 e = 0; e < entries; ++e)
    {
        const size_t at = list + 8 + (size_t) e * 20;
        if (at + 20 > file.size())
            return {};
        if (std::memcmp (file.data() + at, "Comp", 4) == 0)
        {
            const auto offset = (size_t) read64 (at + 4), size = (size_t) read64 (at + 12);
            if (offset + size > file.size())
                return {};
            return { file.begin() + (std::ptrdiff_t) offset, file.begin() + (std::ptrdiff_t) (offset + size) };
        }
    }
    return {};
}

/** The host's side: one lock over its plug-in, held across a preset load and taken again when the
    plug-in asks for its values to be re-read. A request made on the loading thread while it holds
    the lock is where Ardour 7.3 waits for ever; here it is counted instead. */
class LockingHost : public Vst::IComponentHandler
{
public:
    std::mutex lock;
    std::atomic<std::thread::id> holder {};
    std::atomic<int> requestsUnderOwnLock { 0 };
    std::atomic<int> refreshes { 0 };
    Vst::IEditController* controller = nullptr;
    Vst::ParamID watched = 0;
    std::atomic<double> shown { -1.0 };

    tresult PLUGIN_API beginEdit (Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit (Vst::ParamID, Vst::ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit (Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent (int32 flags) override
    {
        if ((flags & Vst::kParamValuesChanged) == 0)
            return kResultOk;
        if (holder.load() == std::this_thread::get_id())
        {
            ++requestsUnderOwnLock;
            return kResultOk;
        }
        const std::lock_guard<std::mutex> held (lock);
        shown = controller->getParamNormalized (watched);
        ++refreshes;
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
    {
        if (FUnknownPrivate::iidEqual (iid, Vst::IComponentHandler::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
        {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

std::vector<char> readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return { std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>() };
}

template <typename T>
T* queryFrom (FUnknown* object)
{
    void* result = nullptr;
    return object != nullptr && object->queryInterface (T::iid, &result) == kResultOk ? static_cast<T*> (result) : nullptr;
}

TEST (Vst3LockingHost, APresetLoadUnderTheHostsLockNeitherHangsNorLeavesTheOldValues)
{
    auto* module = dlopen (VRO_VST3_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE (module, nullptr) << dlerror();
    auto moduleEntry = reinterpret_cast<bool (*) (void*)> (dlsym (module, "ModuleEntry"));
    auto getFactory = reinterpret_cast<IPluginFactory* (*) ()> (dlsym (module, "GetPluginFactory"));
    ASSERT_TRUE (moduleEntry != nullptr && getFactory != nullptr);
    ASSERT_TRUE (moduleEntry (module));
    auto* factory = getFactory();
    ASSERT_NE (factory, nullptr);

    Vst::IComponent* component = nullptr;
    for (int32 i = 0; i < factory->countClasses() && component == nullptr; ++i)
    {
        PClassInfo info;
        factory->getClassInfo (i, &info);
        if (std::strcmp (info.category, kVstAudioEffectClass) == 0)
            factory->createInstance (info.cid, Vst::IComponent::iid, reinterpret_cast<void**> (&component));
    }
    ASSERT_NE (component, nullptr);
    ASSERT_EQ (component->initialize (nullptr), kResultOk);
    TUID controllerId;
    ASSERT_EQ (component->getControllerClassId (controllerId), kResultOk);
    Vst::IEditController* controller = nullptr;
    factory->createInstance (controllerId, Vst::IEditController::iid, reinterpret_cast<void**> (&controller));
    ASSERT_NE (controller, nullptr);
    ASSERT_EQ (controller->initialize (nullptr), kResultOk);
    auto* componentPoint = queryFrom<Vst::IConnectionPoint> (component);
    auto* controllerPoint = queryFrom<Vst::IConnectionPoint> (controller);
    ASSERT_TRUE (componentPoint != nullptr && controllerPoint != nullptr);
    componentPoint->connect (controllerPoint);
    controllerPoint->connect (componentPoint);

    LockingHost host;
    host.controller = controller;
    controller->setComponentHandler (&host);
    for (int32 i = 0; i < controller->getParameterCount(); ++i)
    {
        Vst::ParameterInfo info;
        controller->getParameterInfo (i, info);
        std::string title;
        for (auto* c = info.title; *c != 0; ++c)
            title += (char) *c;
        if (title == "VCF Cutoff")
            host.watched = info.id;
    }
    ASSERT_NE (host.watched, 0u);

    // Two presets in turn, so the second load changes the watched value whatever the start-up sound.
    std::vector<double> shownAfterLoad;
    for (const char* name : { "Bass - Acid - Classic Squelch", "Lead - Soft - Flute" })
    {
        const auto chunk = componentChunk (readFile (std::string (VRO_VST3_PRESET_FOLDER) + "/" + name + ".vstpreset"));
        ASSERT_FALSE (chunk.empty()) << name;
        const int refreshesBefore = host.refreshes;
        {
            const std::lock_guard<std::mutex> held (host.lock);
            host.holder = std::this_thread::get_id();
            Stream stream (chunk);
            EXPECT_EQ (component->setState (&stream), kResultOk) << name;
            stream.seek (0, IBStream::kIBSeekSet, nullptr);
            controller->setComponentState (&stream);
            host.holder = std::thread::id();
        }
        EXPECT_EQ (host.requestsUnderOwnLock, 0) << name << ": asked under the host's own lock";

        // The request arrives from the plug-in's message loop once the load has returned, and the
        // value the host then reads is the preset's.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (10);
        while (host.refreshes == refreshesBefore && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        EXPECT_GT (host.refreshes, refreshesBefore) << name << ": never asked to re-read the values";
        EXPECT_DOUBLE_EQ (host.shown.load(), controller->getParamNormalized (host.watched)) << name;
        shownAfterLoad.push_back (host.shown);
    }
    // A host left with the first preset's values would show the same cutoff twice.
    ASSERT_EQ (shownAfterLoad.size(), 2u);
    EXPECT_NE (shownAfterLoad[0], shownAfterLoad[1]);

    controller->setComponentHandler (nullptr);
    componentPoint->disconnect (controllerPoint);
    controllerPoint->disconnect (componentPoint);
    componentPoint->release();
    controllerPoint->release();
    controller->terminate();
    component->terminate();
    controller->release();
    component->release();
    factory->release();
    // The library stays loaded: its message thread may still be winding down.
}
} // namespace

int main (int argc, char** argv)
{
    return runBareHostTests (argc, argv, "vro-vst3-lock-home");
}
