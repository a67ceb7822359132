// Every interface id and class id, read both ways the code reads them (__uuidof and the IID_/CLSID_
// constant), against the documented text of the id.
#include <collector/interfaces.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

namespace ci = Ostra_Lux_Collector_Interfaces;

// Upper-case text without braces, the form in which the ids are documented.
std::string text_of(const GUID& id)
{
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(id, text, 39), 39);
    return std::string(text + 1, text + 37);
}

// Name, documented text, and the id as __uuidof and as the IID_/CLSID_ constant give it.
using id_row = std::tuple<const char*, const char*, GUID, GUID>;

#define IID_ROW(name, text) id_row{#name, text, __uuidof(ci::name), ci::IID_##name}
#define CLSID_ROW(name, text) id_row{#name, text, __uuidof(ci::name), ci::CLSID_##name}

TEST(InterfaceIds, EveryInterfaceAndComponentClassHasItsDocumentedId)
{
    const id_row rows[] = {
        IID_ROW(ICollector, "6C1C0439-79EB-4BE9-8A45-DC037C068A6A"), IID_ROW(IProperties, "B95C9778-2FCB-4870-A40F-E34A41B6F63D"),
        IID_ROW(ITaskPool, "AA4B75EB-C155-4D3F-8BAA-C40B9227092F"), IID_ROW(ITask, "CCFAB6DB-B70B-4CB4-B57E-B383A8158DD8"),
        IID_ROW(IMethodSource, "B3A40DDA-D451-4FEF-A820-249F3BC26FD0"), IID_ROW(ICollection, "74382693-7A8C-418F-AEDF-EFF6954B74D4"),
        IID_ROW(IComposition, "3840EEC9-D288-482E-B512-6776A2CAB07A"), IID_ROW(IStateDescription, "92079A5F-8CB3-43D4-A1F4-899B7290D345"),
        IID_ROW(IKeyTemplate, "FFFA084C-884A-4B08-A323-362638A6A133"), IID_ROW(IReferenceIndex, "99BAA7BB-B94C-42B6-9DD5-9DF551F0168F"),
        IID_ROW(IKeySet, "51D20048-2EDD-4E6B-A7E4-D9442C3B7ACD"), IID_ROW(IClass, "CE967675-FF15-43D6-BF9A-3855C34E2FF2"),
        IID_ROW(IClassPool, "C3FD9A33-5720-4165-9F23-9DA2802C45C5"), IID_ROW(IKey, "3B5D640D-1B28-4BFB-97AA-1F19A8685EC3"),
        IID_ROW(IField, "7850B964-06F5-469A-861F-11F23EAE2C2A"), IID_ROW(IFieldXml, "9674A03C-D1B2-45FB-8306-E9407D84C032"),
        IID_ROW(IRecord, "D311B03F-8737-406E-9768-D52D10FB60D6"), IID_ROW(IObject, "9ABA272B-2020-44A5-AFA0-8D38D44E7EC7"),
        IID_ROW(IDisposableObject, "D2DB0C78-1CD7-4CAF-89EF-DE47F8972ECB"), IID_ROW(IReference, "36379F47-5B21-4670-B833-28F0AD3283F4"),
        IID_ROW(ICompositionSet, "78E2A5F4-1FD7-4D8C-A12A-E726BDED9D41"), IID_ROW(ICompositionRecord, "86DEA7DC-97C1-40DC-8D56-4AC702CEF398"),
        IID_ROW(IArrayField, "B25CBF17-A44D-4127-8574-C77C1CCA3F61"), IID_ROW(IFieldMethod, "1B4E3525-D074-44BC-A272-2AC7C3FC5968"),
        IID_ROW(IMethodResultList, "A1ACE1C6-7A82-4342-8CF2-1B9EE96359E2"), IID_ROW(IMethodResultItem, "4D10DAF4-AF95-4464-A14A-4F7E033AC570"),
        IID_ROW(IHostPool, "B7317F96-531B-47D4-BCE7-1903C8C28EFA"), IID_ROW(IHost, "41C15DA7-5EC2-474A-A971-BD15E7D6E986"),
        IID_ROW(IUserPool, "CE3CF5C6-44C3-4841-A9C3-5A6FB3C0ED01"), IID_ROW(IUser, "C37FEB96-8469-4A3E-9089-A0D696A182FA"),
        IID_ROW(IDatabaseStorage, "E4FCB00E-0A19-41A5-9868-B7700DFABAE3"), IID_ROW(IResourcePool, "D9F7915A-FBDA-4EF1-834A-2685B0404166"),
        IID_ROW(IResource, "2BD74114-1BB5-45A9-A7F8-59C17A699A87"), IID_ROW(IDeploymentTarget, "6908F343-C4FB-4B22-96CB-39C3A82304BF"),
        IID_ROW(IProfileFactory, "E734BED4-C55A-4172-8159-7576AA90054F"), IID_ROW(ICollectorEvents, "C382101C-38BE-47FF-A4C3-24683D388F10"),
        IID_ROW(ITaskPoolEvents, "1D745B0E-377D-4F6F-BF2F-0449BFDF397E"), IID_ROW(IDatabaseStorageEvents, "A9A92CFC-8A06-4874-A3CF-18D076812CF4"),
        IID_ROW(IResourcePoolEvents, "B9A9532E-C65B-4CC7-8A4D-C2F9F8397FC7"), IID_ROW(ITaskEvents, "6B11FFD7-D351-41BF-911D-0B1FB1D304A0"),
        IID_ROW(ICollectionEvents, "986588F9-77E2-4F40-A623-F307A9C3ECF0"), IID_ROW(ICompositionEvents, "51381788-F513-4871-A5ED-CA2BF0BF72AD"),
        IID_ROW(IDeploymentData, "78F55742-892A-44DB-A25E-488B6889F713"), IID_ROW(IDataCollectionServiceController, "9F0F3C83-1453-4A37-8F4C-DF6CA0FCEB78"),
        CLSID_ROW(ArborHyperVWmiCollector, "CDC38924-26CF-4B5B-956E-90172BCD3CE6"), CLSID_ROW(ArborVcfCollector, "C932F33C-03B1-4C81-938A-968DCDF82837"),
        CLSID_ROW(VMwareCollector, "158DA2E4-E90C-43CB-8941-1357B93DFE7D"), CLSID_ROW(VMwareStandaloneCollector, "A10BA13C-88E5-4BD5-BBB1-2E2027D1FE49"),
        CLSID_ROW(RestCollector, "61317210-F7E9-4B56-B7AA-A354457503D4"), CLSID_ROW(EventsCollector, "A02736E4-6115-4F2D-A497-8C8250A8AE98"),
        CLSID_ROW(CirrusCollector, "E5877D21-B875-437E-A135-0EB8DC026373"), CLSID_ROW(MetricsCollector, "84E35982-01E6-421E-AA89-CA76AF971884"),
        CLSID_ROW(ProfileFactory, "08D56C13-3460-4BEE-A35C-F678534DD688"),
    };
    for (const auto& [name, documented, by_uuidof, by_constant] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(text_of(by_uuidof), documented);
        EXPECT_EQ(text_of(by_constant), documented);
    }
}

} // namespace
