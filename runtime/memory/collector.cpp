// The collector's state.
#include "runtime/memory/collector.hpp"

namespace ixo::collector {

uint32_t node_relocation_count = 0;
int32_t in_progress = 0;
int32_t node_compaction = 1;

}  // namespace ixo::collector
