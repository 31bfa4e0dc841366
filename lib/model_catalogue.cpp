// The Ovrin family as the boards identify themselves: PCI subsystem device
// ID and model name. Names read OVR-<bits><inputs>-<outputs>[-LP|-XT]:
// AI has no analog outputs, AO2/AO4 two or four; LP is the low-profile
// bracket, XT the extended temperature range.
#include "board_table.h"

namespace {

struct ModelRow {
    uint32_t Id;
    const char *Name;
};

constexpr uint32_t CATALOGUE_END_ID = 0xA500;

const ModelRow ModelCatalogue[] = {
    {0x1210, "OVR-1216-AI"},
    {0x1250, "OVR-1216-AI-LP"},
    {0x1290, "OVR-1216-AI-XT"},
    {0x1212, "OVR-1216-AO2"},
    {0x1252, "OVR-1216-AO2-LP"},
    {0x1292, "OVR-1216-AO2-XT"},
    {0x1214, "OVR-1216-AO4"},
    {0x1254, "OVR-1216-AO4-LP"},
    {0x1294, "OVR-1216-AO4-XT"},
    {0x1230, "OVR-1232-AI"},
    {0x1270, "OVR-1232-AI-LP"},
    {0x12B0, "OVR-1232-AI-XT"},
    {0x1232, "OVR-1232-AO2"},
    {0x1272, "OVR-1232-AO2-LP"},
    {0x12B2, "OVR-1232-AO2-XT"},
    {0x1234, "OVR-1232-AO4"},
    {0x1274, "OVR-1232-AO4-LP"},
    {0x12B4, "OVR-1232-AO4-XT"},
    {0x1410, "OVR-1416-AI"},
    {0x1450, "OVR-1416-AI-LP"},
    {0x1490, "OVR-1416-AI-XT"},
    {0x1412, "OVR-1416-AO2"},
    {0x1452, "OVR-1416-AO2-LP"},
    {0x1492, "OVR-1416-AO2-XT"},
    {0x1414, "OVR-1416-AO4"},
    {0x1454, "OVR-1416-AO4-LP"},
    {0x1494, "OVR-1416-AO4-XT"},
    {0x1430, "OVR-1432-AI"},
    {0x1470, "OVR-1432-AI-LP"},
    {0x14B0, "OVR-1432-AI-XT"},
    {0x1432, "OVR-1432-AO2"},
    {0x1472, "OVR-1432-AO2-LP"},
    {0x14B2, "OVR-1432-AO2-XT"},
    {0x1434, "OVR-1432-AO4"},
    {0x1474, "OVR-1432-AO4-LP"},
    {0x14B4, "OVR-1432-AO4-XT"},
    {0x1610, "OVR-1616-AI"},
    {0x1650, "OVR-1616-AI-LP"},
    {0x1690, "OVR-1616-AI-XT"},
    {0x1612, "OVR-1616-AO2"},
    {0x1652, "OVR-1616-AO2-LP"},
    {0x1692, "OVR-1616-AO2-XT"},
    {0x1614, "OVR-1616-AO4"},
    {0x1654, "OVR-1616-AO4-LP"},
    {0x1694, "OVR-1616-AO4-XT"},
    {0x1630, "OVR-1632-AI"},
    {0x1670, "OVR-1632-AI-LP"},
    {0x16B0, "OVR-1632-AI-XT"},
    {0x1632, "OVR-1632-AO2"},
    {0x1672, "OVR-1632-AO2-LP"},
    {0x16B2, "OVR-1632-AO2-XT"},
    {0x1634, "OVR-1632-AO4"},
    {0x1674, "OVR-1632-AO4-LP"},
    {0x16B4, "OVR-1632-AO4-XT"},
    {CATALOGUE_END_ID, "Unknown"},
};

static_assert(sizeof ModelCatalogue / sizeof ModelCatalogue[0] == 55, "54 models and the closing row");

} // namespace

const char *FindModelName(uint16_t modelId)
{
    const ModelRow *row = ModelCatalogue;
    while (row->Id != CATALOGUE_END_ID && row->Id != modelId)
        ++row;
    return row->Name;
}
