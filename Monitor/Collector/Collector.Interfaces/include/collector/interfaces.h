// The collector component's interfaces (type library Ostra_Lux_Collector_Interfaces), their interface ids
// and the component class ids, declared the way MIDL-generated headers declare them, so that the same
// header serves the portable layer on Linux, mingw-w64 and the Windows SDK.
//
// Conventions of every operation, as for any COM server:
// - Out-parameters belong to the caller: a returned BSTR is freed with SysFreeString, a VARIANT cleared
//   with VariantClear, a SAFEARRAY destroyed with SafeArrayDestroy, an interface pointer released.
// - A returned object is typed `IUnknown**` where the caller wraps it by QueryInterface (pools, tasks,
//   collections, methods, hosts, users, resources), and by its interface where the caller uses it as is.
// - An "enumerable" is an object that answers IEnumVARIANT; its elements are VT_UNKNOWN values.
// - GUIDs travel by value, except in ITaskPool, where they travel by pointer to the caller's copy.
//
// Where the collector's contract leaves a slot, a type or a value open, this header fixes it; each such
// place is marked "Chosen here" and listed in this folder's README.md. Slots that the library never
// calls still exist, so that the later slots keep their positions.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>

namespace Ostra_Lux_Collector_Interfaces {

// ---- Enumerations ---------------------------------------------------------------------------------
// Every enumeration is 32 bits wide on the wire; values outside the named ones may still travel.

// Run state of a collector object. Chosen here: the values are the component's to define.
enum class ECollectorState : LONG {
    Initial = 0,
    Running = 1,
    Suspended = 2,
    Stopped = 3,
    Terminated = 4,
    Error = 5,
};

enum class ETaskState : LONG {
    Unknown = -1,
    Initial = 0,
    Ready = 1,
    Running = 2,
    Limping = 3,
    Suspended = 4,
    Stopping = 5,
    Stopped = 6,
    Error = 7,
};

// 100 to 103 are also announced by the library itself around a composition update.
enum class ECollectionState : LONG {
    Initial = 0,
    Ready = 1,
    Starting = 2,
    Running = 3,
    Limping = 4,
    Suspended = 5,
    Stopping = 6,
    Stopped = 7,
    Error = 8,
    UpdateStarted = 100,
    UpdateFinished = 101,
    BulkUpdateStarted = 102,
    BulkUpdateFinished = 103,
};

// What one composition record reports. Other values may arrive; receivers skip or refuse them.
enum class ECompositionRecordKind : LONG {
    Added = 0,
    Updated = 1,
    Removed = 2,
};

// State of the collector's database connection. Chosen here.
enum class EDatabaseStorageState : LONG {
    Disconnected = 0,
    Connecting = 1,
    Connected = 2,
    Error = 3,
};

// How IResourcePool::Merge treats a resource whose name the pool already holds. Chosen here.
enum class EMergeMode : LONG {
    Overwrite = 0,
    KeepExisting = 1,
};

// What a deployment target is. Chosen here.
enum class EDeploymentTarget : LONG {
    Task = 0,
    Host = 1,
};

// ---- Forward declarations -------------------------------------------------------------------------

struct IProperties;
struct IMethodSource;
struct IStateDescription;
struct IDisposableObject;
struct IClass;
struct IClassPool;
struct IKey;
struct IField;
struct IFieldXml;
struct IArrayField;
struct IFieldMethod;
struct IMethodResultList;
struct IMethodResultItem;
struct IRecord;
struct IObject;
struct IReference;
struct ICompositionSet;
struct ICompositionRecord;
struct ICollection;
struct IComposition;
struct IKeyTemplate;
struct IReferenceIndex;
struct IKeySet;
struct IDeploymentData;
struct IDeploymentTarget;
struct ICollector;
struct ITaskPool;
struct ITask;
struct IHostPool;
struct IHost;
struct IUserPool;
struct IUser;
struct IDatabaseStorage;
struct IResourcePool;
struct IResource;
struct IProfileFactory;
struct IDataCollectionServiceController;
struct ICollectorEvents;
struct ITaskPoolEvents;
struct IDatabaseStorageEvents;
struct IResourcePoolEvents;
struct ITaskEvents;
struct ICollectionEvents;
struct ICompositionEvents;

// ---- Shared facets --------------------------------------------------------------------------------

// Named properties of the collector, a task, a collection and the resource pool.
MIDL_INTERFACE("B95C9778-2FCB-4870-A40F-E34A41B6F63D")
IProperties : public IUnknown
{
    // Not called by the library. Chosen here: the names of the properties set so far, a SAFEARRAY of BSTR.
    virtual HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY** names) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT value) = 0;
};

// Named operations of a task.
MIDL_INTERFACE("B3A40DDA-D451-4FEF-A820-249F3BC26FD0")
IMethodSource : public IUnknown
{
    // Not called by the library. Chosen here: the method names, a SAFEARRAY of BSTR.
    virtual HRESULT STDMETHODCALLTYPE GetMethodNames(SAFEARRAY** names) = 0;
    // An unknown name leaves *method null; the library looks at the pointer, not at the HRESULT.
    virtual HRESULT STDMETHODCALLTYPE GetMethod(BSTR name, IUnknown** method) = 0;
};

// The text that goes with a state change of a task or a collection.
MIDL_INTERFACE("92079A5F-8CB3-43D4-A1F4-899B7290D345")
IStateDescription : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetText(BSTR* text) = 0;
};

// Offered by records, objects and composition sets: the holder is done with the object.
MIDL_INTERFACE("D2DB0C78-1CD7-4CAF-89EF-DE47F8972ECB")
IDisposableObject : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Dispose() = 0;
};

// ---- Classes, keys and fields -----------------------------------------------------------------------

MIDL_INTERFACE("CE967675-FF15-43D6-BF9A-3855C34E2FF2")
IClass : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVersion(BSTR* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScope(BSTR* scope) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL* singleton) = 0;
    // A class without a key has no template: it fails or leaves *keyTemplate null.
    virtual HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate** keyTemplate) = 0;
};

MIDL_INTERFACE("C3FD9A33-5720-4165-9F23-9DA2802C45C5")
IClassPool : public IUnknown
{
    // S_OK and a class for a known id; an unknown id fails (Chosen here: E_INVALIDARG) leaving *cls null.
    virtual HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** cls) = 0;
};

MIDL_INTERFACE("3B5D640D-1B28-4BFB-97AA-1F19A8685EC3")
IKey : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetClassId(GUID* classId) = 0;
    // An enumerable of the key fields (IField objects), in key order.
    virtual HRESULT STDMETHODCALLTYPE GetFields(IUnknown** fields) = 0;
};

MIDL_INTERFACE("7850B964-06F5-469A-861F-11F23EAE2C2A")
IField : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) = 0;
};

MIDL_INTERFACE("9674A03C-D1B2-45FB-8306-E9407D84C032")
IFieldXml : public IUnknown
{
    // The library passes flags 0 and expects a VT_BSTR. Chosen here: no flag is defined yet.
    virtual HRESULT STDMETHODCALLTYPE ToXML(LONG flags, VARIANT* xml) = 0;
};

// An array-valued field, delivered as a VT_UNKNOWN value; its elements are VARIANTs (strings or bytes).
MIDL_INTERFACE("B25CBF17-A44D-4127-8574-C77C1CCA3F61")
IArrayField : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumVARIANT** elements) = 0;
};

// ---- Methods --------------------------------------------------------------------------------------

// A named operation of a record (one of its fields), a collection or a task.
MIDL_INTERFACE("1B4E3525-D074-44BC-A272-2AC7C3FC5968")
IFieldMethod : public IUnknown
{
    // Not called by the library. Chosen here: a human-readable description of the method.
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE InvokeWithArgument(VARIANT argument, VARIANT* result) = 0;
    // Not called by the library. Chosen here: the names of the parameters set so far, a SAFEARRAY of BSTR.
    virtual HRESULT STDMETHODCALLTYPE GetParameterNames(SAFEARRAY** names) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParameter(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParameter(BSTR name, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearParameter(BSTR name) = 0;
};

// A method result that holds several values. Each element of GetItems is a VT_UNKNOWN answering
// IMethodResultItem.
MIDL_INTERFACE("A1ACE1C6-7A82-4342-8CF2-1B9EE96359E2")
IMethodResultList : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetItems(IEnumVARIANT** items) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* hasItems) = 0;
};

MIDL_INTERFACE("4D10DAF4-AF95-4464-A14A-4F7E033AC570")
IMethodResultItem : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) = 0;
};

// ---- Records --------------------------------------------------------------------------------------

// A keyed record of a collection. Slot order chosen here.
MIDL_INTERFACE("D311B03F-8737-406E-9768-D52D10FB60D6")
IRecord : public IUnknown
{
    // The record's fields (IField objects, some also IFieldMethod).
    virtual HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** fields) = 0;
    // A name the record lacks fails (Chosen here: DISP_E_UNKNOWNNAME) and leaves *value VT_EMPTY:
    // the library tells present from absent fields by the HRESULT alone.
    virtual HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) = 0;
    // S_OK with a null key for a record without a key.
    virtual HRESULT STDMETHODCALLTYPE GetKey(IKey** key) = 0;
};

// A record-like object without a key (a reference target, a profile). Slot order chosen here.
MIDL_INTERFACE("9ABA272B-2020-44A5-AFA0-8D38D44E7EC7")
IObject : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** fields) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassId(GUID* classId) = 0;
};

// A field value that names another record by its class and key.
MIDL_INTERFACE("36379F47-5B21-4670-B833-28F0AD3283F4")
IReference : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetClassId(GUID* classId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKey(IKey** key) = 0;
};

// One batch of record changes, all of one class.
MIDL_INTERFACE("78E2A5F4-1FD7-4D8C-A12A-E726BDED9D41")
ICompositionSet : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetClassId(GUID* classId) = 0;
    // An enumerable of ICompositionRecord objects, in the order of the changes.
    virtual HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** records) = 0;
};

MIDL_INTERFACE("86DEA7DC-97C1-40DC-8D56-4AC702CEF398")
ICompositionRecord : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetKind(ECompositionRecordKind* kind) = 0;
    // VT_UNKNOWN holding the IRecord concerned; a removed record still answers IRecord::GetKey.
    virtual HRESULT STDMETHODCALLTYPE GetItem(VARIANT* item) = 0;
};

// ---- Collections ----------------------------------------------------------------------------------

// One data collection of a task. It also answers IProperties and IConnectionPointContainer (for
// ICollectionEvents). Slot order chosen here.
MIDL_INTERFACE("74382693-7A8C-418F-AEDF-EFF6954B74D4")
ICollection : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassId(GUID* classId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(ECollectionState* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    // Chosen here: *result is an object the component may hand back (or null); the library only
    // releases it.
    virtual HRESULT STDMETHODCALLTYPE Stop(IUnknown** result) = 0;
    // The library passes 0. Chosen here: 0 drops the collected records and returns the collection to
    // Ready; other values are reserved.
    virtual HRESULT STDMETHODCALLTYPE Reset(LONG options) = 0;
    // The library passes 1000. Chosen here: batchSize is the most record changes that one
    // ICompositionEvents::Updated carries. A collection without a composition fails.
    virtual HRESULT STDMETHODCALLTYPE GetComposition(LONG batchSize, IComposition** composition) = 0;
    // An enumerable of the collection's IRecord objects.
    virtual HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** records) = 0;
    // An unknown name leaves *method null; the library looks at the pointer, not at the HRESULT.
    virtual HRESULT STDMETHODCALLTYPE GetMethod(BSTR name, IUnknown** method) = 0;
    // A collection without a reference index fails or leaves *index null.
    virtual HRESULT STDMETHODCALLTYPE GetReferenceIndex(IReferenceIndex** index) = 0;
};

// The record set of a collection as batches of changes. It also answers IConnectionPointContainer (for
// ICompositionEvents). Slot order chosen here.
MIDL_INTERFACE("3840EEC9-D288-482E-B512-6776A2CAB07A")
IComposition : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetSize(LONG* size) = 0;
    // Whether the component wants UpdateStarted/UpdateFinished announced around each update.
    virtual HRESULT STDMETHODCALLTYPE GetAnnounceUpdates(VARIANT_BOOL* announce) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};

// Builds a key of a record class from named field values.
MIDL_INTERFACE("FFFA084C-884A-4B08-A323-362638A6A133")
IKeyTemplate : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SetField(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKey(IKey** key) = 0;
};

// Which records of a collection reference a given key.
MIDL_INTERFACE("99BAA7BB-B94C-42B6-9DD5-9DF551F0168F")
IReferenceIndex : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE FindReferencing(IKey* key, IKeySet** keys) = 0;
};

MIDL_INTERFACE("51D20048-2EDD-4E6B-A7E4-D9442C3B7ACD")
IKeySet : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* hasItems) = 0;
    // An enumerable of IKey objects.
    virtual HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** keys) = 0;
};

// ---- Deployment -----------------------------------------------------------------------------------

// Named settings that a caller hands to a deployment; implemented by the library.
MIDL_INTERFACE("78F55742-892A-44DB-A25E-488B6889F713")
IDeploymentData : public IUnknown
{
    // E_POINTER for a null value, E_INVALIDARG for a name that is not there (names are case-sensitive).
    virtual HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) = 0;
    // A SAFEARRAY of BSTR, lower bound 0, names in ascending code-unit order.
    virtual HRESULT STDMETHODCALLTYPE GetNames(SAFEARRAY** names) = 0;
};

// A place to deploy to; task objects answer it too.
MIDL_INTERFACE("6908F343-C4FB-4B22-96CB-39C3A82304BF")
IDeploymentTarget : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType(EDeploymentTarget* type) = 0;
    // data may be null. On a task, argument is the record class name (VT_BSTR) and *result a
    // VT_UNKNOWN holding the deployed collection.
    virtual HRESULT STDMETHODCALLTYPE Deploy(VARIANT argument, IDeploymentData* data, VARIANT* result) = 0;
};

// ---- Collector and pools --------------------------------------------------------------------------

// The root object of each collector class. It also answers IProperties, IDatabaseStorage and
// IConnectionPointContainer (for ICollectorEvents and IDatabaseStorageEvents).
MIDL_INTERFACE("6C1C0439-79EB-4BE9-8A45-DC037C068A6A")
ICollector : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetHostPool(IUnknown** pool) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserPool(IUnknown** pool) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResourcePool(IUnknown** pool) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTaskPool(IUnknown** pool) = 0;
    // The pool of record classes shared by every collection of this collector.
    virtual HRESULT STDMETHODCALLTYPE GetClassPool(IUnknown** pool) = 0;
    // Not called by the library. Chosen here: the component's version text.
    virtual HRESULT STDMETHODCALLTYPE GetVersion(BSTR* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE Restart() = 0;
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Suspend() = 0;
    virtual HRESULT STDMETHODCALLTYPE Terminate() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(ECollectorState* state) = 0;
    // The last holder is going: the component ends its work and raises no further event.
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};

// The collector's collection tasks. It also answers IConnectionPointContainer (for ITaskPoolEvents).
// Chosen here for the three Deploy forms: first is the host id, second the user id the task runs as,
// a nonzero flag runs the task at once; the text of DeployWithText is a configuration text (VT_BSTR);
// the value of DeployWithData is a set of flags, none defined yet (the library passes 0).
MIDL_INTERFACE("AA4B75EB-C155-4D3F-8BAA-C40B9227092F")
ITaskPool : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Deploy(BSTR name, GUID* first, GUID* second, LONG flag, IUnknown** task) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeployWithText(BSTR name, GUID* first, GUID* second, VARIANT text, LONG flag,
                                                     IUnknown** task) = 0;
    // Not called by the library. Chosen here: the number of tasks.
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeployWithData(BSTR name, GUID* first, GUID* second, LONG value,
                                                     IDeploymentData* data, IUnknown** task) = 0;
    // Not called by the library. Chosen here: the first task of that name; none leaves *task null.
    virtual HRESULT STDMETHODCALLTYPE FindByName(BSTR name, IUnknown** task) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsExist(GUID* id, VARIANT_BOOL* exists) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTask(GUID* id, IUnknown** task) = 0;
    // An absent task fails.
    virtual HRESULT STDMETHODCALLTYPE Remove(GUID* id) = 0;
    // An enumerable of ITask objects.
    virtual HRESULT STDMETHODCALLTYPE GetTasks(IUnknown** tasks) = 0;
};

// One collection task. It also answers IDeploymentTarget, IMethodSource, IProperties and
// IConnectionPointContainer (for ITaskEvents).
MIDL_INTERFACE("CCFAB6DB-B70B-4CB4-B57E-B383A8158DD8")
ITask : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    // Deploys a collection of the record class of that name.
    virtual HRESULT STDMETHODCALLTYPE Deploy(BSTR className, IUnknown** collection) = 0;
    // Removes the task's collection of that id.
    virtual HRESULT STDMETHODCALLTYPE Remove(GUID collectionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(ETaskState* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostId(GUID* hostId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserId(GUID* userId) = 0;
    // Chosen here: *previousUserId is the user the task ran as before.
    virtual HRESULT STDMETHODCALLTYPE SwitchUser(GUID userId, GUID* previousUserId) = 0;
    // controller is VT_UNKNOWN holding an IDataCollectionServiceController, or a null pointer.
    virtual HRESULT STDMETHODCALLTYPE Run(VARIANT controller) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    // An enumerable of ICollection objects.
    virtual HRESULT STDMETHODCALLTYPE GetCollections(IUnknown** collections) = 0;
};

// Monitored hosts. Slot order chosen here.
MIDL_INTERFACE("B7317F96-531B-47D4-BCE7-1903C8C28EFA")
IHostPool : public IUnknown
{
    // An unknown id fails, or succeeds leaving *host null.
    virtual HRESULT STDMETHODCALLTYPE GetHost(GUID id, IUnknown** host) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(BSTR name, IUnknown** host) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, IUnknown** host) = 0;
    // An enumerable of IHost objects.
    virtual HRESULT STDMETHODCALLTYPE GetHosts(IUnknown** hosts) = 0;
};

MIDL_INTERFACE("41C15DA7-5EC2-474A-A971-BD15E7D6E986")
IHost : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetName(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLocal(VARIANT_BOOL* local) = 0;
};

// Credentials with which the collector reaches monitored systems. Slot order chosen here.
MIDL_INTERFACE("CE3CF5C6-44C3-4841-A9C3-5A6FB3C0ED01")
IUserPool : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetUser(GUID id, IUnknown** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(BSTR name, BSTR password, IUnknown** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, BSTR password, IUnknown** user) = 0;
    // The account the collector itself runs as.
    virtual HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown** user) = 0;
    // An enumerable of IUser objects.
    virtual HRESULT STDMETHODCALLTYPE GetUsers(IUnknown** users) = 0;
};

MIDL_INTERFACE("C37FEB96-8469-4A3E-9089-A0D696A182FA")
IUser : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasPassword(VARIANT_BOOL* hasPassword) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPassword(BSTR* password) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsCurrent(VARIANT_BOOL* current) = 0;
};

// The collector's database connection; offered by the collector object itself. Slot order chosen here.
MIDL_INTERFACE("E4FCB00E-0A19-41A5-9868-B7700DFABAE3")
IDatabaseStorage : public IUnknown
{
    // A setting never made arrives as a null BSTR. encryptionMode is passed through unchanged.
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR server, BSTR instance, BSTR database, VARIANT_BOOL useSqlAuth,
                                              BSTR user, BSTR password, VARIANT_BOOL multiSubnetFailover,
                                              LONG encryptionMode, VARIANT_BOOL trustServerCertificate) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(EDatabaseStorageState* state) = 0;
};

// Named resources. It also answers IProperties and IConnectionPointContainer (for IResourcePoolEvents).
// Chosen here: the texts of Load, Merge and Save are file paths; the file format is the component's.
MIDL_INTERFACE("D9F7915A-FBDA-4EF1-834A-2685B0404166")
IResourcePool : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR name, VARIANT value, IUnknown** resource) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(BSTR name) = 0;
    // A name the pool lacks fails or leaves *resource null.
    virtual HRESULT STDMETHODCALLTYPE Find(BSTR name, IUnknown** resource) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(BSTR path) = 0;
    virtual HRESULT STDMETHODCALLTYPE Merge(BSTR path, EMergeMode mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(BSTR path) = 0;
    // An enumerable of IResource objects.
    virtual HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** resources) = 0;
};

MIDL_INTERFACE("2BD74114-1BB5-45A9-A7F8-59C17A699A87")
IResource : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetId(GUID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResource(VARIANT* value) = 0;
    // Either pointer may be null.
    virtual HRESULT STDMETHODCALLTYPE Deploy(IDeploymentTarget* target, IDeploymentData* data, VARIANT* result) = 0;
};

// Creates profile records without a collector; offered by the profile class.
MIDL_INTERFACE("E734BED4-C55A-4172-8159-7576AA90054F")
IProfileFactory : public IUnknown
{
    // data may be null; context is passed through unchanged and is meaningful only in process.
    // *profile answers IObject.
    virtual HRESULT STDMETHODCALLTYPE CreateProfile(BSTR first, BSTR second, BSTR third, IDeploymentData* data,
                                                    void* context, IUnknown** profile) = 0;
};

// ---- Agent shell ----------------------------------------------------------------------------------

// The agent shell's controller, which ITask::Run receives as VT_UNKNOWN. The library and the reference
// collector only pass it on, so no operation of its own is declared here. Chosen here: its interface id
// (none was assigned).
MIDL_INTERFACE("9F0F3C83-1453-4A37-8F4C-DF6CA0FCEB78")
IDataCollectionServiceController : public IUnknown
{
};

// ---- Event interfaces (implemented by the library's sinks) -----------------------------------------

// Chosen here: value is 32 bits; the reference collector sends its new ECollectorState.
MIDL_INTERFACE("C382101C-38BE-47FF-A4C3-24683D388F10")
ICollectorEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Event1(LONG value) = 0;
};

// Chosen here: Event1 reports a deployed task, Event2 a removed one, by task id.
MIDL_INTERFACE("1D745B0E-377D-4F6F-BF2F-0449BFDF397E")
ITaskPoolEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Event1(GUID taskId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Event2(GUID taskId) = 0;
};

// Chosen here: value is 32 bits; the reference collector sends the new EDatabaseStorageState.
MIDL_INTERFACE("A9A92CFC-8A06-4874-A3CF-18D076812CF4")
IDatabaseStorageEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Event1(LONG value) = 0;
};

// The texts are zero-terminated (receivers read up to the first NUL) and may be null. Chosen here:
// BSTRs; Event1 reports an added resource, Event2 a removed one, by name.
MIDL_INTERFACE("B9A9532E-C65B-4CC7-8A4D-C2F9F8397FC7")
IResourcePoolEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Event1(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE Event2(BSTR text) = 0;
};

// description may be null. Chosen here: Event1 reports a deployed collection, Event2 a removed one,
// as (task id, collection id).
MIDL_INTERFACE("6B11FFD7-D351-41BF-911D-0B1FB1D304A0")
ITaskEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE StateChanged(GUID taskId, ETaskState state,
                                                   IStateDescription* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE Event1(GUID first, GUID second) = 0;
    virtual HRESULT STDMETHODCALLTYPE Event2(GUID first, GUID second) = 0;
};

// The GUID of every operation is the collection id. description may be null.
MIDL_INTERFACE("986588F9-77E2-4F40-A623-F307A9C3ECF0")
ICollectionEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE RecordAdded(GUID collectionId, IRecord* record) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordUpdated(GUID collectionId, IRecord* record) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordRemoved(GUID collectionId, IKey* key) = 0;
    virtual HRESULT STDMETHODCALLTYPE StateChanged(GUID collectionId, ECollectionState state,
                                                   IStateDescription* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateStarted(GUID collectionId) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateFinished(GUID collectionId) = 0;
    // Receivers do nothing. Chosen here: no arguments.
    virtual HRESULT STDMETHODCALLTYPE Reserved() = 0;
};

// One batch of record changes of a collection's composition; set may answer IDisposableObject.
MIDL_INTERFACE("51381788-F513-4871-A5ED-CA2BF0BF72AD")
ICompositionEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Updated(GUID collectionId, ICompositionSet* set) = 0;
};

// ---- Component classes ----------------------------------------------------------------------------
// Each collector class answers ICollector; the library creates one per collector source. All are
// in-process servers except VMwareStandaloneCollector, a local server. ProfileFactory answers
// IProfileFactory and is created for any context (in-process or out of process) and run with OleRun.

class DECLSPEC_UUID("CDC38924-26CF-4B5B-956E-90172BCD3CE6") ArborHyperVWmiCollector;
class DECLSPEC_UUID("C932F33C-03B1-4C81-938A-968DCDF82837") ArborVcfCollector;
class DECLSPEC_UUID("158DA2E4-E90C-43CB-8941-1357B93DFE7D") VMwareCollector;
class DECLSPEC_UUID("A10BA13C-88E5-4BD5-BBB1-2E2027D1FE49") VMwareStandaloneCollector;
class DECLSPEC_UUID("61317210-F7E9-4B56-B7AA-A354457503D4") RestCollector;
class DECLSPEC_UUID("A02736E4-6115-4F2D-A497-8C8250A8AE98") EventsCollector;
class DECLSPEC_UUID("E5877D21-B875-437E-A135-0EB8DC026373") CirrusCollector;
class DECLSPEC_UUID("84E35982-01E6-421E-AA89-CA76AF971884") MetricsCollector;
class DECLSPEC_UUID("08D56C13-3460-4BEE-A35C-F678534DD688") ProfileFactory;

} // namespace Ostra_Lux_Collector_Interfaces

// ---- Interface and class ids ----------------------------------------------------------------------
// COLLECTOR_DECLARE_ID(IID, IFoo, ...) gives Ostra_Lux_Collector_Interfaces::IID_IFoo and, where the
// compiler takes ids from __CRT_UUID_DECL (GCC with our layer or mingw-w64), __uuidof(IFoo); MSVC reads
// the same id from the MIDL_INTERFACE or DECLSPEC_UUID text above. CLSID likewise gives CLSID_Foo.

#if defined(__CRT_UUID_DECL)
#  define COLLECTOR_UUID_DECL(type, ...) __CRT_UUID_DECL(type, __VA_ARGS__)
#else
#  define COLLECTOR_UUID_DECL(type, ...)
#endif

#define COLLECTOR_DECLARE_ID(kind, name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                  \
    namespace Ostra_Lux_Collector_Interfaces {                                                       \
    inline constexpr GUID kind##_##name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};               \
    }                                                                                                \
    COLLECTOR_UUID_DECL(Ostra_Lux_Collector_Interfaces::name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)

COLLECTOR_DECLARE_ID(IID, ICollector, 0x6C1C0439, 0x79EB, 0x4BE9, 0x8A, 0x45, 0xDC, 0x03, 0x7C, 0x06, 0x8A, 0x6A)
COLLECTOR_DECLARE_ID(IID, IProperties, 0xB95C9778, 0x2FCB, 0x4870, 0xA4, 0x0F, 0xE3, 0x4A, 0x41, 0xB6, 0xF6, 0x3D)
COLLECTOR_DECLARE_ID(IID, ITaskPool, 0xAA4B75EB, 0xC155, 0x4D3F, 0x8B, 0xAA, 0xC4, 0x0B, 0x92, 0x27, 0x09, 0x2F)
COLLECTOR_DECLARE_ID(IID, ITask, 0xCCFAB6DB, 0xB70B, 0x4CB4, 0xB5, 0x7E, 0xB3, 0x83, 0xA8, 0x15, 0x8D, 0xD8)
COLLECTOR_DECLARE_ID(IID, IMethodSource, 0xB3A40DDA, 0xD451, 0x4FEF, 0xA8, 0x20, 0x24, 0x9F, 0x3B, 0xC2, 0x6F, 0xD0)
COLLECTOR_DECLARE_ID(IID, ICollection, 0x74382693, 0x7A8C, 0x418F, 0xAE, 0xDF, 0xEF, 0xF6, 0x95, 0x4B, 0x74, 0xD4)
COLLECTOR_DECLARE_ID(IID, IComposition, 0x3840EEC9, 0xD288, 0x482E, 0xB5, 0x12, 0x67, 0x76, 0xA2, 0xCA, 0xB0, 0x7A)
COLLECTOR_DECLARE_ID(IID, IStateDescription, 0x92079A5F, 0x8CB3, 0x43D4, 0xA1, 0xF4, 0x89, 0x9B, 0x72, 0x90, 0xD3, 0x45)
COLLECTOR_DECLARE_ID(IID, IKeyTemplate, 0xFFFA084C, 0x884A, 0x4B08, 0xA3, 0x23, 0x36, 0x26, 0x38, 0xA6, 0xA1, 0x33)
COLLECTOR_DECLARE_ID(IID, IReferenceIndex, 0x99BAA7BB, 0xB94C, 0x42B6, 0x9D, 0xD5, 0x9D, 0xF5, 0x51, 0xF0, 0x16, 0x8F)
COLLECTOR_DECLARE_ID(IID, IKeySet, 0x51D20048, 0x2EDD, 0x4E6B, 0xA7, 0xE4, 0xD9, 0x44, 0x2C, 0x3B, 0x7A, 0xCD)
COLLECTOR_DECLARE_ID(IID, IClass, 0xCE967675, 0xFF15, 0x43D6, 0xBF, 0x9A, 0x38, 0x55, 0xC3, 0x4E, 0x2F, 0xF2)
COLLECTOR_DECLARE_ID(IID, IClassPool, 0xC3FD9A33, 0x5720, 0x4165, 0x9F, 0x23, 0x9D, 0xA2, 0x80, 0x2C, 0x45, 0xC5)
COLLECTOR_DECLARE_ID(IID, IKey, 0x3B5D640D, 0x1B28, 0x4BFB, 0x97, 0xAA, 0x1F, 0x19, 0xA8, 0x68, 0x5E, 0xC3)
COLLECTOR_DECLARE_ID(IID, IField, 0x7850B964, 0x06F5, 0x469A, 0x86, 0x1F, 0x11, 0xF2, 0x3E, 0xAE, 0x2C, 0x2A)
COLLECTOR_DECLARE_ID(IID, IFieldXml, 0x9674A03C, 0xD1B2, 0x45FB, 0x83, 0x06, 0xE9, 0x40, 0x7D, 0x84, 0xC0, 0x32)
COLLECTOR_DECLARE_ID(IID, IRecord, 0xD311B03F, 0x8737, 0x406E, 0x97, 0x68, 0xD5, 0x2D, 0x10, 0xFB, 0x60, 0xD6)
COLLECTOR_DECLARE_ID(IID, IObject, 0x9ABA272B, 0x2020, 0x44A5, 0xAF, 0xA0, 0x8D, 0x38, 0xD4, 0x4E, 0x7E, 0xC7)
COLLECTOR_DECLARE_ID(IID, IDisposableObject, 0xD2DB0C78, 0x1CD7, 0x4CAF, 0x89, 0xEF, 0xDE, 0x47, 0xF8, 0x97, 0x2E, 0xCB)
COLLECTOR_DECLARE_ID(IID, IReference, 0x36379F47, 0x5B21, 0x4670, 0xB8, 0x33, 0x28, 0xF0, 0xAD, 0x32, 0x83, 0xF4)
COLLECTOR_DECLARE_ID(IID, ICompositionSet, 0x78E2A5F4, 0x1FD7, 0x4D8C, 0xA1, 0x2A, 0xE7, 0x26, 0xBD, 0xED, 0x9D, 0x41)
COLLECTOR_DECLARE_ID(IID, ICompositionRecord, 0x86DEA7DC, 0x97C1, 0x40DC, 0x8D, 0x56, 0x4A, 0xC7, 0x02, 0xCE, 0xF3, 0x98)
COLLECTOR_DECLARE_ID(IID, IArrayField, 0xB25CBF17, 0xA44D, 0x4127, 0x85, 0x74, 0xC7, 0x7C, 0x1C, 0xCA, 0x3F, 0x61)
COLLECTOR_DECLARE_ID(IID, IFieldMethod, 0x1B4E3525, 0xD074, 0x44BC, 0xA2, 0x72, 0x2A, 0xC7, 0xC3, 0xFC, 0x59, 0x68)
COLLECTOR_DECLARE_ID(IID, IMethodResultList, 0xA1ACE1C6, 0x7A82, 0x4342, 0x8C, 0xF2, 0x1B, 0x9E, 0xE9, 0x63, 0x59, 0xE2)
COLLECTOR_DECLARE_ID(IID, IMethodResultItem, 0x4D10DAF4, 0xAF95, 0x4464, 0xA1, 0x4A, 0x4F, 0x7E, 0x03, 0x3A, 0xC5, 0x70)
COLLECTOR_DECLARE_ID(IID, IHostPool, 0xB7317F96, 0x531B, 0x47D4, 0xBC, 0xE7, 0x19, 0x03, 0xC8, 0xC2, 0x8E, 0xFA)
COLLECTOR_DECLARE_ID(IID, IHost, 0x41C15DA7, 0x5EC2, 0x474A, 0xA9, 0x71, 0xBD, 0x15, 0xE7, 0xD6, 0xE9, 0x86)
COLLECTOR_DECLARE_ID(IID, IUserPool, 0xCE3CF5C6, 0x44C3, 0x4841, 0xA9, 0xC3, 0x5A, 0x6F, 0xB3, 0xC0, 0xED, 0x01)
COLLECTOR_DECLARE_ID(IID, IUser, 0xC37FEB96, 0x8469, 0x4A3E, 0x90, 0x89, 0xA0, 0xD6, 0x96, 0xA1, 0x82, 0xFA)
COLLECTOR_DECLARE_ID(IID, IDatabaseStorage, 0xE4FCB00E, 0x0A19, 0x41A5, 0x98, 0x68, 0xB7, 0x70, 0x0D, 0xFA, 0xBA, 0xE3)
COLLECTOR_DECLARE_ID(IID, IResourcePool, 0xD9F7915A, 0xFBDA, 0x4EF1, 0x83, 0x4A, 0x26, 0x85, 0xB0, 0x40, 0x41, 0x66)
COLLECTOR_DECLARE_ID(IID, IResource, 0x2BD74114, 0x1BB5, 0x45A9, 0xA7, 0xF8, 0x59, 0xC1, 0x7A, 0x69, 0x9A, 0x87)
COLLECTOR_DECLARE_ID(IID, IDeploymentTarget, 0x6908F343, 0xC4FB, 0x4B22, 0x96, 0xCB, 0x39, 0xC3, 0xA8, 0x23, 0x04, 0xBF)
COLLECTOR_DECLARE_ID(IID, IProfileFactory, 0xE734BED4, 0xC55A, 0x4172, 0x81, 0x59, 0x75, 0x76, 0xAA, 0x90, 0x05, 0x4F)
COLLECTOR_DECLARE_ID(IID, ICollectorEvents, 0xC382101C, 0x38BE, 0x47FF, 0xA4, 0xC3, 0x24, 0x68, 0x3D, 0x38, 0x8F, 0x10)
COLLECTOR_DECLARE_ID(IID, ITaskPoolEvents, 0x1D745B0E, 0x377D, 0x4F6F, 0xBF, 0x2F, 0x04, 0x49, 0xBF, 0xDF, 0x39, 0x7E)
COLLECTOR_DECLARE_ID(IID, IDatabaseStorageEvents, 0xA9A92CFC, 0x8A06, 0x4874, 0xA3, 0xCF, 0x18, 0xD0, 0x76, 0x81, 0x2C, 0xF4)
COLLECTOR_DECLARE_ID(IID, IResourcePoolEvents, 0xB9A9532E, 0xC65B, 0x4CC7, 0x8A, 0x4D, 0xC2, 0xF9, 0xF8, 0x39, 0x7F, 0xC7)
COLLECTOR_DECLARE_ID(IID, ITaskEvents, 0x6B11FFD7, 0xD351, 0x41BF, 0x91, 0x1D, 0x0B, 0x1F, 0xB1, 0xD3, 0x04, 0xA0)
COLLECTOR_DECLARE_ID(IID, ICollectionEvents, 0x986588F9, 0x77E2, 0x4F40, 0xA6, 0x23, 0xF3, 0x07, 0xA9, 0xC3, 0xEC, 0xF0)
COLLECTOR_DECLARE_ID(IID, ICompositionEvents, 0x51381788, 0xF513, 0x4871, 0xA5, 0xED, 0xCA, 0x2B, 0xF0, 0xBF, 0x72, 0xAD)
COLLECTOR_DECLARE_ID(IID, IDeploymentData, 0x78F55742, 0x892A, 0x44DB, 0xA2, 0x5E, 0x48, 0x8B, 0x68, 0x89, 0xF7, 0x13)
COLLECTOR_DECLARE_ID(IID, IDataCollectionServiceController, 0x9F0F3C83, 0x1453, 0x4A37, 0x8F, 0x4C, 0xDF, 0x6C, 0xA0, 0xFC, 0xEB, 0x78)

COLLECTOR_DECLARE_ID(CLSID, ArborHyperVWmiCollector, 0xCDC38924, 0x26CF, 0x4B5B, 0x95, 0x6E, 0x90, 0x17, 0x2B, 0xCD, 0x3C, 0xE6)
COLLECTOR_DECLARE_ID(CLSID, ArborVcfCollector, 0xC932F33C, 0x03B1, 0x4C81, 0x93, 0x8A, 0x96, 0x8D, 0xCD, 0xF8, 0x28, 0x37)
COLLECTOR_DECLARE_ID(CLSID, VMwareCollector, 0x158DA2E4, 0xE90C, 0x43CB, 0x89, 0x41, 0x13, 0x57, 0xB9, 0x3D, 0xFE, 0x7D)
COLLECTOR_DECLARE_ID(CLSID, VMwareStandaloneCollector, 0xA10BA13C, 0x88E5, 0x4BD5, 0xBB, 0xB1, 0x2E, 0x20, 0x27, 0xD1, 0xFE, 0x49)
COLLECTOR_DECLARE_ID(CLSID, RestCollector, 0x61317210, 0xF7E9, 0x4B56, 0xB7, 0xAA, 0xA3, 0x54, 0x45, 0x75, 0x03, 0xD4)
COLLECTOR_DECLARE_ID(CLSID, EventsCollector, 0xA02736E4, 0x6115, 0x4F2D, 0xA4, 0x97, 0x8C, 0x82, 0x50, 0xA8, 0xAE, 0x98)
COLLECTOR_DECLARE_ID(CLSID, CirrusCollector, 0xE5877D21, 0xB875, 0x437E, 0xA1, 0x35, 0x0E, 0xB8, 0xDC, 0x02, 0x63, 0x73)
COLLECTOR_DECLARE_ID(CLSID, MetricsCollector, 0x84E35982, 0x01E6, 0x421E, 0xAA, 0x89, 0xCA, 0x76, 0xAF, 0x97, 0x18, 0x84)
COLLECTOR_DECLARE_ID(CLSID, ProfileFactory, 0x08D56C13, 0x3460, 0x4BEE, 0xA3, 0x5C, 0xF6, 0x78, 0x53, 0x4D, 0xD6, 0x88)

#undef COLLECTOR_DECLARE_ID
#undef COLLECTOR_UUID_DECL
