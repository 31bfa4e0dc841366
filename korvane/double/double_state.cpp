#include "double_state.h"

namespace kdbl {

DoubleState &State()
{
    static DoubleState state;
    return state;
}

void ResetLocked(DoubleState &state)
{
    state.Devices.clear();
    state.Blocks.clear();
    state.NextBusAddress = FIRST_BUS_ADDRESS;
    state.Registrations.clear();
    state.Failures.clear();
    state.Grants.clear();
    state.Calls.clear();
    state.Log.clear();
}

} // namespace kdbl
