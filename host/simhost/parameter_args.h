// Turns "-P name=value" arguments into the parameter value records a host
// passes to CreateInstance, checked against the plug-in's parameter table.
#pragma once

#include <string>
#include <vector>

#include "host_abi.h"

namespace simhost {

using ParameterTable = std::vector<ZVT::v0::ParameterInfo>;

// Reads the factory's parameter descriptions.
ParameterTable ReadParameterTable(ZVT::v0::PluginFactory& factory);

// Parses one "name=value" assignment into `value`. False with `error` set
// for an unknown name, a missing "=", or a value that does not fit the type.
bool ParseAssignment(const ParameterTable& table, const std::string& assignment,
                     ZVT::v0::ParameterValue& value, std::string& error);

// What a host passes to CreateInstance: every parameter at its default, then
// the assignments in order (a later value of an id wins in the plug-in).
// False with `error` set for the first assignment that does not parse.
bool InstanceValues(const ParameterTable& table, const std::vector<std::string>& assignments,
                    std::vector<ZVT::v0::ParameterValue>& values, std::string& error);

// The parameter table as a human-readable listing.
std::string FormatParameterTable(const ParameterTable& table);

}  // namespace simhost
