// The plain storage as a host sees it through vqx.dll: values, listeners, copies, traces.
#include "property_test_support.h"

#include <gtest/gtest.h>

using namespace vqx;
using namespace vqx::test;

namespace {

const std::wstring kFacility = L"VQXPropertyStorageImpl";

class HookedStorage : public PlainStorage {
public:
    explicit HookedStorage(RecordingListener::Log* log) : m_log(log) {}
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override { m_log->emplace_back("hook", name); }

private:
    RecordingListener::Log* m_log;
};

}  // namespace

TEST(PropertyStorage, SetReplacesValuesAndNamesAreCaseSensitive) {
    PlainStorage storage;
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"Width", Int(640)));
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"width", Text("small")));
    EXPECT_EQ(640, Read(storage, L"Width").ToInt64());
    EXPECT_STREQ("small", Read(storage, L"width").stringValue);
    EXPECT_FALSE(storage.HasProperty(L"WIDTH"));

    Opaque* object = CreateInstance<Opaque>();
    storage.SetProperty(L"Width", VQXVariant(object));
    EXPECT_EQ(2, RefCount(object));
    storage.SetProperty(L"Width", WText(L"wide"));  // releases the object
    EXPECT_EQ(1, RefCount(object));
    EXPECT_EQ(2, storage.GetPropertyCount());
    object->Release();

    VQXVariant untouched = Int(7);
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, storage.GetProperty(L"Missing", &untouched));
    EXPECT_EQ(7, untouched.int64Value);
    EXPECT_EQ(VQX_NULL_POINTER, storage.SetProperty(nullptr, Int(1)));
    EXPECT_EQ(VQX_NULL_POINTER, storage.GetProperty(L"Width", nullptr));
}

TEST(PropertyStorage, HookThenListenersOnEverySetNoneOnClear) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    HookedStorage storage(&log);
    storage.RegisterListener(&listener);
    storage.RegisterListener(&listener);  // kept once
    storage.RegisterListener(nullptr);    // ignored
    storage.SetProperty(L"A", Int(1));
    storage.SetProperty(L"A", Int(1));  // an equal value notifies again
    EXPECT_EQ((RecordingListener::Log{{"hook", L"A"}, {"L", L"A"}, {"hook", L"A"}, {"L", L"A"}}), log);
    log.clear();
    EXPECT_EQ(VQX_OK, storage.Clear());
    EXPECT_EQ(0, storage.GetPropertyCount());
    storage.SetProperty(L"B", Int(2));  // Clear notified nobody and kept the listener
    EXPECT_EQ((RecordingListener::Log{{"hook", L"B"}, {"L", L"B"}}), log);
    storage.UnregisterListener(&listener);
    log.clear();
    storage.SetProperty(L"B", Int(3));
    EXPECT_EQ((RecordingListener::Log{{"hook", L"B"}}), log);
}

TEST(PropertyStorage, ListenersRunInPointerOrderAndMaySetFromTheirCallback) {
    RecordingListener::Log log;
    RecordingListener listeners[3] = {{"first", &log}, {"second", &log}, {"third", &log}};  // ascending addresses
    PlainStorage storage;
    for (int i : {2, 0, 1})
        storage.RegisterListener(&listeners[i]);
    storage.SetProperty(L"X", Int(0));
    EXPECT_EQ((RecordingListener::Log{{"first", L"X"}, {"second", L"X"}, {"third", L"X"}}), log);
    for (auto& listener : listeners)
        storage.UnregisterListener(&listener);

    // The lowest listener sets "B" from the notification for "A": the nested notification runs
    // completely inside the outer one.
    struct Chaining : RecordingListener {
        Chaining(VQXPropertyStorage& s, Log* l) : RecordingListener("chain", l), storage(s) {}
        void VQX_CALL OnPropertyChanged(const wchar_t* name) override {
            RecordingListener::OnPropertyChanged(name);
            if (std::wstring(name) == L"A") storage.SetProperty(L"B", Int(2));
        }
        VQXPropertyStorage& storage;
    };
    struct Pair {
        Chaining chain;
        RecordingListener plain;
    } pair{Chaining(storage, &log), RecordingListener("plain", &log)};
    storage.RegisterListener(&pair.plain);
    storage.RegisterListener(&pair.chain);
    log.clear();
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"A", Int(1)));
    EXPECT_EQ((RecordingListener::Log{{"chain", L"A"}, {"chain", L"B"}, {"plain", L"B"}, {"plain", L"A"}}), log);
    EXPECT_EQ(2, Read(storage, L"B").ToInt64());
    storage.UnregisterListener(&pair.chain);
    storage.UnregisterListener(&pair.plain);
}

TEST(PropertyStorage, QueryInterfaceAnswersTheStorageIdentifierOnly) {
    PlainStorage storage;
    void* out = nullptr;
    ASSERT_EQ(VQX_OK, storage.QueryInterface(L"\"VQXPropertyStorage\"", &out));
    EXPECT_EQ(static_cast<VQXPropertyStorage*>(&storage), out);
    void* untouched = &storage;
    for (const wchar_t* id : {L"\"VQXUnknown\"", L"\"VQXPropertyStorageEx\"", L"VQXPropertyStorage"}) {
        EXPECT_EQ(VQX_NO_INTERFACE, storage.QueryInterface(id, &untouched));
    }
    EXPECT_EQ(&storage, untouched);
    EXPECT_EQ(1, storage.Refs());
}

TEST(PropertyStorage, CopyToReplacesAndAddToMayKeepTheDestination) {
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"B", Text("two"));
    EXPECT_EQ(VQX_OK, source.CopyTo(&source, false));
    EXPECT_EQ(2, source.GetPropertyCount());

    PlainStorage dest;
    dest.SetProperty(L"A", Int(100));
    dest.SetProperty(L"OnlyHere", Int(5));
    EXPECT_EQ(VQX_OK, source.AddTo(&dest, false, false));
    EXPECT_EQ(100, Read(dest, L"A").ToInt64());
    EXPECT_STREQ("two", Read(dest, L"B").stringValue);
    EXPECT_EQ(VQX_OK, source.CopyTo(&dest, false));
    EXPECT_EQ(2, dest.GetPropertyCount());
    EXPECT_FALSE(dest.HasProperty(L"OnlyHere"));
    EXPECT_EQ(1, Read(dest, L"A").ToInt64());
    EXPECT_EQ(VQX_OK, PlainStorage().AddTo(&dest, true, true));
}

TEST(PropertyStorage, DeepCopyDuplicatesClonablesAndShallowCopyShares) {
    Buffer* buffer = CreateInstance<Buffer>();
    Opaque* opaque = CreateInstance<Opaque>();
    {
        PlainStorage source;
        source.SetProperty(L"Buffer", VQXVariant(buffer));
        source.SetProperty(L"Opaque", VQXVariant(opaque));
        source.SetProperty(L"Nothing", VQXVariant(static_cast<VQXInterface*>(nullptr)));

        PlainStorage shallow;
        EXPECT_EQ(VQX_OK, source.CopyTo(&shallow, false));
        EXPECT_EQ(static_cast<VQXInterface*>(buffer), shallow.Stored(L"Buffer")->pInterface);
        EXPECT_EQ(3, buffer->GetRefCount());

        PlainStorage deep;
        EXPECT_EQ(VQX_OK, source.CopyTo(&deep, true));
        EXPECT_EQ(3, buffer->GetRefCount());  // the original gained nothing
        EXPECT_EQ(2, Buffer::Alive());
        VQXInterface* copy = deep.Stored(L"Buffer")->pInterface;
        EXPECT_NE(static_cast<VQXInterface*>(buffer), copy);
        EXPECT_EQ(1, RefCount(copy));  // held by the destination only
        // Without VQXClonable the deep copy shares; an empty value stays empty.
        EXPECT_EQ(static_cast<VQXInterface*>(opaque), deep.Stored(L"Opaque")->pInterface);
        EXPECT_EQ(4, opaque->GetRefCount());
        EXPECT_EQ(VQX_VARIANT_EMPTY, Read(deep, L"Nothing").type);
    }
    EXPECT_EQ(1, Buffer::Alive());
    EXPECT_EQ(1, buffer->GetRefCount());
    EXPECT_EQ(1, opaque->GetRefCount());
    buffer->Release();
    opaque->Release();
}

TEST(PropertyStorage, RepeatCountsAsSuccess) {
    Buffer* buffer = CreateInstance<Buffer>(VQX_REPEAT);  // Duplicate answers REPEAT with a copy
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"Buf", VQXVariant(buffer));
    PlainStorage dest(VQX_REPEAT);
    EXPECT_EQ(VQX_OK, source.CopyTo(&dest, true));
    EXPECT_EQ(2, dest.GetPropertyCount());
    EXPECT_EQ(2, Buffer::Alive());
    dest.Clear();
    EXPECT_EQ(1, Buffer::Alive());
    source.Clear();
    buffer->Release();
}

TEST(PropertyStorage, CopyFailuresAreTracedStopTheWalkAndReleaseEverything) {
    TraceRecorder trace(kFacility);
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.CopyTo(nullptr, false));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.AddTo(nullptr, true, false));

    struct RefusingB : PlainStorage {
        VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override {
            return std::wstring(name) == L"B" ? VQX_INVALID_PARAMETER : PlainStorage::SetProperty(name, value);
        }
    } partial;
    source.SetProperty(L"B", Int(2));
    source.SetProperty(L"C", Int(3));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.CopyTo(&partial, false));
    EXPECT_TRUE(partial.HasProperty(L"A"));  // entries before the failure stay
    EXPECT_FALSE(partial.HasProperty(L"C"));

    Buffer* failing = CreateInstance<Buffer>(VQX_FAIL, /*copyOnFailure=*/true);
    source.Clear();
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"Buf", VQXVariant(failing));
    PlainStorage dest;
    EXPECT_EQ(VQX_FAIL, source.CopyTo(&dest, true));
    EXPECT_TRUE(dest.HasProperty(L"A"));
    EXPECT_FALSE(dest.HasProperty(L"Buf"));
    EXPECT_EQ(1, Buffer::Alive());         // the copy handed out with the failure was released
    EXPECT_EQ(2, failing->GetRefCount());  // and so was the clonable reference

    Buffer* buffer = CreateInstance<Buffer>();
    source.SetProperty(L"Buf", VQXVariant(buffer));
    PlainStorage refusing(VQX_NOT_IMPLEMENTED);
    EXPECT_EQ(VQX_NOT_IMPLEMENTED, source.AddTo(&refusing, false, true));
    EXPECT_EQ(2, Buffer::Alive());
    EXPECT_EQ(2, buffer->GetRefCount());
    source.SetProperty(L"A", VQXVariant(buffer));  // a deep copy refused by the destination
    EXPECT_EQ(VQX_NOT_IMPLEMENTED, source.AddTo(&refusing, false, true));
    EXPECT_EQ(2, Buffer::Alive());
    EXPECT_EQ(
        trace.Messages(),
        (std::vector<std::wstring>{L"CopyTo() - Invalid Param", L"CopyTo() - Invalid Param",
                                   L"CopyTo() - failed to copy property=B", L"AddTo() - failed to duplicate buffer=Buf",
                                   L"CopyTo() - failed to copy property=A", L"AddTo() - failed to copy property=A"}));
    source.Clear();
    failing->Release();
    buffer->Release();
}

TEST(PropertyStorage, CopiesDuplicateValuesAndListenersButStayIndependent) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    Opaque* object = CreateInstance<Opaque>();
    PlainStorage original;
    original.RegisterListener(&listener);
    original.SetProperty(L"Text", Text("abc"));
    original.SetProperty(L"Object", VQXVariant(object));
    {
        PlainStorage copy(original);
        EXPECT_EQ(3, object->GetRefCount());
        EXPECT_NE(original.Stored(L"Text")->stringValue, copy.Stored(L"Text")->stringValue);  // a text of its own
        EXPECT_STREQ("abc", copy.Stored(L"Text")->stringValue);
        log.clear();
        copy.SetProperty(L"New", Int(1));  // the copied listener hears it
        EXPECT_EQ((RecordingListener::Log{{"L", L"New"}}), log);
        EXPECT_FALSE(original.HasProperty(L"New"));

        PlainStorage assigned;
        assigned.SetProperty(L"Gone", Int(0));
        assigned = original;
        EXPECT_FALSE(assigned.HasProperty(L"Gone"));
        EXPECT_EQ(4, object->GetRefCount());
        copy.UnregisterListener(&listener);
        assigned.UnregisterListener(&listener);
    }
    EXPECT_EQ(2, object->GetRefCount());
    original.UnregisterListener(&listener);
    original.Clear();
    object->Release();
}
