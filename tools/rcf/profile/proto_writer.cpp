#include "rcf/profile/proto_writer.h"

namespace vantric::rcf {

void ProtoWriter::packed(uint32_t field, const std::vector<uint64_t>& values) {
    if (values.empty()) return;
    ProtoWriter body;
    for (uint64_t v : values) body.raw(v);
    bytes(field, body.out_);
}

}  // namespace vantric::rcf
