// The plain storage as a host sees it through vqx.dll: values, listeners, copies, traces.
#include "property_test_support.h"

#include <gtest/gtest.h>


using namespace vqx;
using namespace vqx_test;

namespace {

using Records = std::vector<std::pair<std::wstring, std::wstring>>;
const std::wstring kPlainFacility = L"VQXPropertyStorageImpl";

// A storage whose hook logs before the listeners do.
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
    EXPECT_EQ(2, storage.GetPropertyCount());
    EXPECT_EQ(640, Read(storage, L"Width").ToInt64());
    EXPECT_STREQ("small", Read(storage, L"width").stringValue);

    Opaque* object = CreateInstance<Opaque>();
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"Width", VQXVariant(object)));
    EXPECT_EQ(2, RefCount(object));
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"Width", WText(L"wide")));  // releases the object
    EXPECT_EQ(1, RefCount(object));
    EXPECT_STREQ(L"wide", Read(storage, L"Width").wstringValue);
    EXPECT_EQ(2, storage.GetPropertyCount());
    EXPECT_TRUE(storage.HasProperty(L"width"));
    EXPECT_FALSE(storage.HasProperty(L"WIDTH"));
    object->Release();
}

TEST(PropertyStorage, UnknownNamesAndBadArgumentsLeaveEverythingAlone) {
    PlainStorage storage;
    VQXVariant untouched = Int(7);
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, storage.GetProperty(L"Missing", &untouched));
    EXPECT_EQ(7, untouched.int64Value);
    EXPECT_EQ(VQX_NULL_POINTER, storage.SetProperty(nullptr, Int(1)));
    EXPECT_EQ(VQX_NULL_POINTER, storage.GetProperty(L"Missing", nullptr));
    EXPECT_FALSE(storage.HasProperty(nullptr));
    EXPECT_EQ(0, storage.GetPropertyCount());
    storage.UnregisterListener(nullptr);  // unknown pointers are ignored
    storage.RegisterListener(nullptr);
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"A", Int(1)));
}

TEST(PropertyStorage, ClearKeepsListenersAndNotifiesNobody) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    PlainStorage storage;
    storage.RegisterListener(&listener);
    storage.SetProperty(L"A", Int(1));
    storage.SetProperty(L"B", Int(2));
    storage.SetProperty(L"C", Int(3));
    log.clear();
    EXPECT_EQ(VQX_OK, storage.Clear());
    EXPECT_EQ(0, storage.GetPropertyCount());
    EXPECT_TRUE(log.empty());
    storage.SetProperty(L"A", Int(4));
    EXPECT_EQ((RecordingListener::Log{{"L", L"A"}}), log);
    storage.UnregisterListener(&listener);
}

TEST(PropertyStorage, HookRunsBeforeListenersAndEqualValuesStillNotify) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    HookedStorage storage(&log);
    storage.RegisterListener(&listener);
    storage.RegisterListener(&listener);  // kept once
    storage.SetProperty(L"A", Int(1));
    storage.SetProperty(L"A", Int(1));
    EXPECT_EQ((RecordingListener::Log{{"hook", L"A"}, {"L", L"A"}, {"hook", L"A"}, {"L", L"A"}}), log);
    storage.UnregisterListener(&listener);
    log.clear();
    storage.SetProperty(L"A", Int(2));
    EXPECT_EQ((RecordingListener::Log{{"hook", L"A"}}), log);
}

TEST(PropertyStorage, ListenersAreCalledInPointerOrderNotRegistrationOrder) {
    RecordingListener::Log log;
    RecordingListener listeners[3];
    const char* tags[3] = {"first", "second", "third"};
    for (int i = 0; i < 3; ++i) listeners[i].Bind(tags[i], &log);
    PlainStorage storage;
    storage.RegisterListener(&listeners[2]);
    storage.RegisterListener(&listeners[0]);
    storage.RegisterListener(&listeners[1]);
    storage.SetProperty(L"X", Int(0));
    // Array elements lie at ascending addresses.
    EXPECT_EQ((RecordingListener::Log{{"first", L"X"}, {"second", L"X"}, {"third", L"X"}}), log);
    for (auto& listener : listeners) storage.UnregisterListener(&listener);
}

namespace {

// Sets "B" on the storage from inside the notification for "A".
class ChainingListener : public RecordingListener {
public:
    ChainingListener(VQXPropertyStorage& storage, Log* log) : RecordingListener("chain", log), m_storage(storage) {}
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override {
        RecordingListener::OnPropertyChanged(name);
        if (std::wstring(name) == L"A") m_storage.SetProperty(L"B", Int(2));
    }

private:
    VQXPropertyStorage& m_storage;
};

}  // namespace

TEST(PropertyStorage, ListenerMaySetAnotherPropertyFromItsCallback) {
    RecordingListener::Log log;
    PlainStorage storage;
    // Both in one array so that the chaining listener has the lower address and runs first.
    struct Pair {
        ChainingListener chain;
        RecordingListener plain;
    };
    Pair pair{ChainingListener(storage, &log), RecordingListener("plain", &log)};
    storage.RegisterListener(&pair.plain);
    storage.RegisterListener(&pair.chain);
    EXPECT_EQ(VQX_OK, storage.SetProperty(L"A", Int(1)));
    // The nested notification for B runs completely inside the outer one for A.
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
    EXPECT_EQ(1, storage.Refs());
    void* untouched = &storage;
    EXPECT_EQ(VQX_NO_INTERFACE, storage.QueryInterface(L"\"VQXUnknown\"", &untouched));
    EXPECT_EQ(VQX_NO_INTERFACE, storage.QueryInterface(L"\"VQXPropertyStorageEx\"", &untouched));
    EXPECT_EQ(VQX_NO_INTERFACE, storage.QueryInterface(L"VQXPropertyStorage", &untouched));
    EXPECT_EQ(&storage, untouched);
    EXPECT_EQ(1, storage.Refs());
}

TEST(PropertyStorage, CopyToEmptiesTheDestinationAndIgnoresItself) {
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"B", Text("two"));
    EXPECT_EQ(VQX_OK, source.CopyTo(&source, false));
    EXPECT_EQ(2, source.GetPropertyCount());

    PlainStorage dest;
    dest.SetProperty(L"A", Int(100));
    dest.SetProperty(L"OnlyHere", Int(5));
    EXPECT_EQ(VQX_OK, source.CopyTo(&dest, false));
    EXPECT_EQ(2, dest.GetPropertyCount());
    EXPECT_FALSE(dest.HasProperty(L"OnlyHere"));
    EXPECT_EQ(1, Read(dest, L"A").ToInt64());
    EXPECT_STREQ("two", Read(dest, L"B").stringValue);
}

TEST(PropertyStorage, AddToWithoutOverwriteOnlyAddsMissingNames) {
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"B", Int(2));
    PlainStorage dest;
    dest.SetProperty(L"A", Int(100));
    EXPECT_EQ(VQX_OK, source.AddTo(&dest, false, false));
    EXPECT_EQ(100, Read(dest, L"A").ToInt64());
    EXPECT_EQ(2, Read(dest, L"B").ToInt64());
    EXPECT_EQ(VQX_OK, source.AddTo(&dest, true, false));
    EXPECT_EQ(1, Read(dest, L"A").ToInt64());

    PlainStorage empty;
    EXPECT_EQ(VQX_OK, empty.AddTo(&dest, true, true));
    EXPECT_EQ(2, dest.GetPropertyCount());
}

TEST(PropertyStorage, DeepCopyDuplicatesClonablesAndShallowCopyShares) {
    Buffer* buffer = CreateInstance<Buffer>(42);
    Opaque* opaque = CreateInstance<Opaque>();
    {
        PlainStorage source;
        source.SetProperty(L"Buffer", VQXVariant(buffer));
        source.SetProperty(L"Opaque", VQXVariant(opaque));
        source.SetProperty(L"Nothing", VQXVariant(static_cast<VQXInterface*>(nullptr)));
        EXPECT_EQ(2, buffer->GetRefCount());

        PlainStorage shallow;
        EXPECT_EQ(VQX_OK, source.CopyTo(&shallow, false));
        EXPECT_EQ(static_cast<VQXInterface*>(buffer), Read(shallow, L"Buffer").pInterface);
        EXPECT_EQ(3, buffer->GetRefCount());
        EXPECT_EQ(1, Buffer::Alive());

        PlainStorage deep;
        EXPECT_EQ(VQX_OK, source.CopyTo(&deep, true));
        EXPECT_EQ(3, buffer->GetRefCount());  // the original gained nothing
        EXPECT_EQ(2, Buffer::Alive());
        VQXInterface* copy = deep.HeldInterface(L"Buffer");
        ASSERT_NE(nullptr, copy);
        EXPECT_NE(static_cast<VQXInterface*>(buffer), copy);
        EXPECT_EQ(1, RefCount(copy));  // held by the destination only
        // Without VQXClonable, and for an empty value, the deep copy shares.
        EXPECT_EQ(static_cast<VQXInterface*>(opaque), deep.HeldInterface(L"Opaque"));
        EXPECT_EQ(4, opaque->GetRefCount());  // ours, the source's and both copies'
        EXPECT_EQ(VQX_VARIANT_EMPTY, Read(deep, L"Nothing").type);
    }
    EXPECT_EQ(1, Buffer::Alive());
    EXPECT_EQ(1, buffer->GetRefCount());
    EXPECT_EQ(1, opaque->GetRefCount());
    buffer->Release();
    opaque->Release();
    EXPECT_EQ(0, Buffer::Alive());
}

TEST(PropertyStorage, DestinationRepeatCountsAsSuccess) {
    Buffer* buffer = CreateInstance<Buffer>(1, VQX_REPEAT);
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"Buf", VQXVariant(buffer));
    AnsweringStorage dest(VQX_REPEAT);
    EXPECT_EQ(VQX_OK, source.CopyTo(&dest, true));
    EXPECT_EQ(2, dest.GetPropertyCount());
    EXPECT_EQ(2, Buffer::Alive());  // Duplicate's VQX_REPEAT still hands over a copy
    dest.Clear();
    EXPECT_EQ(1, Buffer::Alive());
    source.Clear();
    buffer->Release();
}

TEST(PropertyStorage, NullDestinationIsTracedAndRefused) {
    TraceCapture capture;
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.CopyTo(nullptr, false));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.AddTo(nullptr, true, false));
    EXPECT_EQ((Records{{kPlainFacility, L"CopyTo() - Invalid Param"}, {kPlainFacility, L"CopyTo() - Invalid Param"}}),
              capture.Records());
}

TEST(PropertyStorage, PlainCopyFailureStopsTheWalkAndKeepsEarlierEntries) {
    TraceCapture capture;
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"B", Int(2));
    AnsweringStorage refusing(VQX_INVALID_PARAMETER);
    EXPECT_EQ(VQX_INVALID_PARAMETER, source.AddTo(&refusing, true, false));
    EXPECT_EQ((Records{{kPlainFacility, L"CopyTo() - failed to copy property=A"}}), capture.Records());

    // A destination that takes "A" and refuses "B": the walk stops at B, A stays.
    class RefusingB : public PlainStorage {
    public:
        VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override {
            if (std::wstring(name) == L"B") return VQX_FAIL;
            return PlainStorage::SetProperty(name, value);
        }
    } partial;
    source.SetProperty(L"C", Int(3));
    EXPECT_EQ(VQX_FAIL, source.CopyTo(&partial, false));
    EXPECT_TRUE(partial.HasProperty(L"A"));
    EXPECT_FALSE(partial.HasProperty(L"C"));
    EXPECT_EQ(L"CopyTo() - failed to copy property=B", capture.Records().back().second);
}

TEST(PropertyStorage, DuplicateFailureIsTracedAndReleasesEverything) {
    TraceCapture capture;
    Buffer* buffer = CreateInstance<Buffer>(1, VQX_FAIL, /*copyOnFailure=*/true);
    PlainStorage source;
    source.SetProperty(L"A", Int(1));
    source.SetProperty(L"Buf", VQXVariant(buffer));
    PlainStorage dest;
    EXPECT_EQ(VQX_FAIL, source.CopyTo(&dest, true));
    EXPECT_EQ((Records{{kPlainFacility, L"AddTo() - failed to duplicate buffer=Buf"}}), capture.Records());
    EXPECT_TRUE(dest.HasProperty(L"A"));
    EXPECT_FALSE(dest.HasProperty(L"Buf"));
    EXPECT_EQ(1, Buffer::Alive());           // the copy handed out on failure was released
    EXPECT_EQ(2, buffer->GetRefCount());     // so was the clonable reference
    source.Clear();
    buffer->Release();
}

TEST(PropertyStorage, DeepCopyRefusedByDestinationIsTracedAsAddTo) {
    TraceCapture capture;
    Buffer* buffer = CreateInstance<Buffer>(1);
    PlainStorage source;
    source.SetProperty(L"Buf", VQXVariant(buffer));
    AnsweringStorage refusing(VQX_NOT_IMPLEMENTED);
    EXPECT_EQ(VQX_NOT_IMPLEMENTED, source.AddTo(&refusing, true, true));
    EXPECT_EQ((Records{{kPlainFacility, L"AddTo() - failed to copy property=Buf"}}), capture.Records());
    EXPECT_EQ(1, Buffer::Alive());
    EXPECT_EQ(2, buffer->GetRefCount());
    source.Clear();
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
    EXPECT_EQ(2, object->GetRefCount());
    {
        PlainStorage copy(original);
        EXPECT_EQ(3, object->GetRefCount());
        EXPECT_NE(original.FindText(L"Text"), copy.FindText(L"Text"));  // a text of its own
        EXPECT_STREQ("abc", copy.FindText(L"Text"));
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
    EXPECT_EQ(1, object->GetRefCount());
    object->Release();
}
