// The substitute Kelvane host: everything a test or the simulation program
// needs to build a simulation and drive a plug-in through the host contract.
#pragma once

#include "host_abi.h"
#include "kv_event_class.h"
#include "kv_field.h"
#include "kv_processor.h"
#include "kv_processor_debug.h"
#include "kv_register_file.h"
#include "kv_services.h"
#include "kv_simulation.h"
#include "kv_sparse_memory.h"
#include "kv_trace_component.h"
#include "kv_trace_source.h"
#include "kv_value.h"
