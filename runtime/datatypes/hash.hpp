// hash!: a block with a hash index. A hash! cell is a block cell of type
// 36 whose payload word 3 holds the node of a kind-0 hashtable indexing
// every value of the block, so that find, select and the like look values
// up instead of scanning. block!'s actions keep the table in step when
// they change a hash!; this module only builds the table (make, to, copy)
// and molds the value.
#pragma once

namespace ixo::hash_ {

// Registers hash! (type 36) under block!.
void init();

}  // namespace ixo::hash_
