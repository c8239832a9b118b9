// The user data of one core's trace callbacks: the subsystem's shared state,
// the core's own state and debug interface, and every field the callbacks
// read, fixed at registration. Its address stays valid for the agent's life.
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"
#include "util/event_field.h"

namespace vantric {

struct AgentState;
struct CoreState;
class TimeSource;

struct TracedCore {
    AgentState* agent;
    TimeSource* time;  // the agent's, kept here to save a load per event
    CoreState* state;
    uint32_t core;
    plexa::SQOVI2* debug;
    EventField cp15[5] = {};       // CRn, opc1, CRm, opc2, VALUE
    EventField sysreg[3] = {};     // REGNUM, VALUE, UPDATED_VALUE
    EventField periodic[2] = {};   // INST_COUNT, PC
    EventField inst[2] = {};       // PC, LOCAL_TIME
    EventField exception[3] = {};  // PC, VECTOR, LOCAL_TIME
    EventField syscall[2] = {};    // TYPE, LOCAL_TIME
    EventField runState[3] = {};   // OLD, NEW, LOCAL_TIME
    EventField mode[1] = {};       // MODE
    EventField branch[3] = {};     // PC, TARGET_PC, LOCAL_TIME (BRA_DIR)
    EventField indirect[3] = {};   // the same for BRA_INDIR
};

}  // namespace vantric
