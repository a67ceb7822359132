// The reference collector: a complete collector component in process, for programs, tests and
// benchmarks that run where the real component is absent.
//
//     collector::reference::Registration registration;   // COM is initialised by the caller
//     // ... CoCreateInstance(CLSID_ArborVcfCollector, ...) now finds the reference collector
//
// While a Registration lives, the calling thread's apartment has class objects for the eight collector
// classes (each with the class context its source asks for: the standalone class as a local server, the
// others in process) and for the profile class (in process and local server). Its destructor revokes
// them; objects already created keep working until their last release.
//
// The scripting surface (record classes, records, states, failures) is reached from the registration.
// Records are scripted per record class: every collection of the class that runs sees the class's
// current records as one first batch, then every batch given to RecordClass::Apply, each delivered as
// one announced composition update.
#pragma once

#include <collector/interfaces.h>

#include <comdef.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#if defined(_WIN32)
#  if defined(COLLECTOR_REFERENCE_BUILDING)
#    define COLLECTOR_REFERENCE_API __declspec(dllexport)
#  else
#    define COLLECTOR_REFERENCE_API __declspec(dllimport)
#  endif
#else
#  define COLLECTOR_REFERENCE_API __attribute__((visibility("default")))
#endif

// What the component answers to a call in the wrong state; the Windows SDK names it, mingw-w64 does not.
#ifndef E_ILLEGAL_METHOD_CALL
#  define E_ILLEGAL_METHOD_CALL _HRESULT_TYPEDEF_(0x8000000EL)
#endif

namespace collector::reference {

namespace detail {
struct world_t;
struct class_source_t;
} // namespace detail

using ECollectionState = Ostra_Lux_Collector_Interfaces::ECollectionState;
using ETaskState = Ostra_Lux_Collector_Interfaces::ETaskState;
using ECompositionRecordKind = Ostra_Lux_Collector_Interfaces::ECompositionRecordKind;

struct Options {
    // How often a live record class rereads its data while one of its collections runs; a Registration
    // given a period of zero or less throws std::invalid_argument.
    std::chrono::milliseconds refreshPeriod{1000};
};

// ---- Field values ---------------------------------------------------------------------------------

// A named value: the key fields of a reference, the parameters of a method call.
using NamedValues = std::vector<std::pair<std::wstring, _variant_t>>;

// A GUID as a field value: its 36-character text without braces (VT_BSTR), the form readers parse.
COLLECTOR_REFERENCE_API _variant_t GuidValue(const GUID& id);

// An array field: the value is an object answering IArrayField over these elements (texts or bytes).
struct ArrayValue {
    std::vector<_variant_t> elements;
};

// How a reference to another record of the same collection travels in a field value.
enum class ReferenceForm {
    Reference, // an IReference: the target's class id and key
    Record,    // the target record itself (IRecord); a target not in the collection reads as VT_EMPTY
    Object,    // an IObject over the target's fields; a target not in the collection reads as VT_EMPTY
};

// The target is named by its class and its key fields (in key order).
struct RecordReference {
    GUID classId{};
    NamedValues key;
    ReferenceForm form = ReferenceForm::Reference;
};

// An array of references: the value is a SAFEARRAY of VT_UNKNOWN (VT_ARRAY | VT_UNKNOWN). A target not
// in the collection leaves a null element where the form is Record or Object.
struct ReferenceArray {
    std::vector<RecordReference> elements;
};

// An XML field: the value is the text (VT_BSTR), and the field answers IFieldXml with the same text.
struct XmlValue {
    std::wstring text;
};

// What a method body sees: the parameters set on the method object, and the argument of
// InvokeWithArgument (null for Invoke).
struct MethodCall {
    const std::map<std::wstring, _variant_t>& parameters;
    const VARIANT* argument;
};

// A method that fails: the call returns hr, with description as its error information.
struct MethodFailure {
    HRESULT hr = E_FAIL;
    std::wstring description;
};

// A single value, a result list (an IMethodResultList of IMethodResultItem) or a failure.
using MethodOutcome = std::variant<_variant_t, std::vector<_variant_t>, MethodFailure>;

// A method field: its value is VT_EMPTY, and the field answers IFieldMethod, which runs body on the
// thread that invokes it, with no lock of the component held. body may be called from several threads.
struct MethodValue {
    std::wstring description;
    std::function<MethodOutcome(const MethodCall&)> body;
};

using Value = std::variant<_variant_t, ArrayValue, RecordReference, ReferenceArray, XmlValue, MethodValue>;

// A record: its fields in order. The class's key fields must be among them.
using Fields = std::vector<std::pair<std::wstring, Value>>;

// One change of a batch. A removed record needs only its key fields; an updated record replaces all the
// fields of the record with the same key; an added record whose key is present updates it.
struct Change {
    ECompositionRecordKind kind = ECompositionRecordKind::Added;
    Fields fields;
};

using Batch = std::vector<Change>;

// ---- Record classes -------------------------------------------------------------------------------

struct ClassDefinition {
    GUID id{};
    std::wstring name;
    std::wstring version;
    std::wstring scope;
    bool singleton = false;
    // The key template, in key order; a class without key fields has no template.
    std::vector<std::wstring> keyFields;
};

// A record class of the registration, the source of the records of every collection of that class.
class COLLECTOR_REFERENCE_API RecordClass {
public:
    RecordClass() = default;
    explicit operator bool() const noexcept { return static_cast<bool>(source_); }

    const ClassDefinition& Definition() const;

    // Applies the changes to the class's records and delivers them to every running collection of the
    // class as one announced batch (several when the collection's batch size is smaller). Returns at
    // once; the events follow on the component's threads. A change whose fields lack a key field, or
    // that removes an absent record, throws std::invalid_argument and changes nothing.
    void Apply(Batch batch) const;

    // The class's current records, in the order they were added.
    std::vector<Fields> Records() const;

    // Called with true when the first collection of the class starts running and with false when the
    // last one stops (or is released while running), in the order of those starts and stops. It runs on
    // the thread of the call that started or stopped the collection, with no lock of the component held,
    // one call at a time: a start or stop racing with a call of the hook on another thread is told by
    // that thread once the hook returns. It should return promptly. One hook per class: a second
    // replaces the first.
    void OnRunning(std::function<void(bool running)> hook) const;

private:
    friend struct detail::world_t;
    explicit RecordClass(std::shared_ptr<detail::class_source_t> source) : source_(std::move(source)) {}
    std::shared_ptr<detail::class_source_t> source_;
};

// ---- Registration ---------------------------------------------------------------------------------

class COLLECTOR_REFERENCE_API Registration {
public:
    Registration();
    explicit Registration(Options options);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    // Adds a record class to the class pool of every collector of this registration (present and
    // future). An id or a name already defined throws std::invalid_argument.
    RecordClass DefineClass(ClassDefinition definition);
    // The class of that name, or the empty handle.
    RecordClass FindClass(std::wstring_view name) const;

    // Makes the occurrence-th call (counted from now, 1 is the next one) of operation fail with hr and
    // description as its error information, until this registration ends. operation names an interface
    // and its member, as "ITask::Deploy" or "ICollection::Run"; the calls of every object in the process
    // count, of this registration or another.
    void FailCall(std::wstring operation, unsigned occurrence, HRESULT hr, std::wstring description);

    // Moves a task or a collection of this registration to a state, raising its state event with the
    // description. Returns false when no live object has that id.
    bool SetTaskState(const GUID& taskId, ETaskState state, std::wstring description = {});
    bool SetCollectionState(const GUID& collectionId, ECollectionState state, std::wstring description = {});

    const Options& GetOptions() const noexcept;

    // The component's COM objects alive in the process (every registration's).
    static long LiveObjects() noexcept;

    // The registration's shared state, for the component's own parts.
    detail::world_t& World() const noexcept { return *world_; }

private:
    std::shared_ptr<detail::world_t> world_;
    std::vector<DWORD> cookies_;
};

} // namespace collector::reference
