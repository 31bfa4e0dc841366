// One whole 32-bit access to a local register (BAR 2) of an open board.
#pragma once

#include <stdint.h>

// The register's value; on a failed read the failure is stored and the
// result is 0, so no caller works on an undefined value.
uint32_t ReadRegister(uint32_t slot, uint32_t offset, int32_t *status);
// The write's status, stored when it failed.
int32_t WriteRegister(uint32_t slot, uint32_t offset, uint32_t value, int32_t *status);
// Read, clear the bits of `clear`, set those of `set`, write back. The write
// is made even when the read failed (from 0 then). Returns the write's status.
int32_t ModifyRegister(uint32_t slot, uint32_t offset, uint32_t clear, uint32_t set, int32_t *status);
