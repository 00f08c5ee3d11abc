// The kernel table fillers: one constant set of 130 BltFast entries and two
// BltFlip entries per depth.
#include <cstring>

#include "display/erdr_kernel.h"
#include "framework/emod_memory.h"

namespace {

const ERDR_BLTFAST kFast8[kERenderFastEntries] = {nullptr,         ERdrBltFast8_ck,
                                                  nullptr,         ERdrBltFast8_ck_cf,
                                                  ERdrBltFast8_tn, ERdrBltFast8_ck_tn,
                                                  nullptr,         nullptr,
                                                  ERdrBltFast8_op, ERdrBltFast8_ck_op,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  ERdrBltFast8_ad, ERdrBltFast8_ck_ad,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  ERdrBltFast8_sb, ERdrBltFast8_ck_sb,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  ERdrBltFast8_oh, ERdrBltFast8_ck_oh,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  nullptr,         nullptr,
                                                  ERdrBltFast8_ol, ERdrBltFast8_ck_ol};

const ERDR_BLTFAST kFast12[kERenderFastEntries] = {nullptr,          ERdrBltFast12_ck,
                                                   nullptr,          ERdrBltFast12_ck_cf,
                                                   ERdrBltFast12_tn, ERdrBltFast12_ck_tn,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast12_op, ERdrBltFast12_ck_op,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast12_ad, ERdrBltFast12_ck_ad,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast12_sb, ERdrBltFast12_ck_sb,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast12_oh, ERdrBltFast12_ck_oh,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast12_ol, ERdrBltFast12_ck_ol};

const ERDR_BLTFAST kFast16[kERenderFastEntries] = {nullptr,          ERdrBltFast16_ck,
                                                   nullptr,          ERdrBltFast16_ck_cf,
                                                   ERdrBltFast16_tn, ERdrBltFast16_ck_tn,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast16_op, ERdrBltFast16_ck_op,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast16_ad, ERdrBltFast16_ck_ad,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast16_sb, ERdrBltFast16_ck_sb,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast16_oh, ERdrBltFast16_ck_oh,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast16_ol, ERdrBltFast16_ck_ol};

const ERDR_BLTFAST kFast32[kERenderFastEntries] = {nullptr,          ERdrBltFast32_ck,
                                                   nullptr,          ERdrBltFast32_ck_cf,
                                                   ERdrBltFast32_tn, ERdrBltFast32_ck_tn,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast32_op, ERdrBltFast32_ck_op,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast32_ad, ERdrBltFast32_ck_ad,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast32_sb, ERdrBltFast32_ck_sb,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast32_oh, ERdrBltFast32_ck_oh,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   nullptr,          nullptr,
                                                   ERdrBltFast32_ol, ERdrBltFast32_ck_ol};

}  // namespace

void ERender_Get_BltFast8(ERDR_BLTFAST* table) {
  if (table) ClassEMemory::Copy(table, kFast8, uint32_t(sizeof kFast8));
}

void ERender_Get_BltFlip8(ERDR_BLTFLIP* table) {
  if (!table) return;
  table[0] = ERdrBltFlip8_;
  table[1] = ERdrBltFlip8_ck;
}

void ERender_Get_BltFast12(ERDR_BLTFAST* table) {
  if (table) ClassEMemory::Copy(table, kFast12, uint32_t(sizeof kFast12));
}

void ERender_Get_BltFlip12(ERDR_BLTFLIP* table) {
  if (!table) return;
  table[0] = ERdrBltFlip12_;
  table[1] = ERdrBltFlip12_ck;
}

void ERender_Get_BltFast16(ERDR_BLTFAST* table) {
  if (table) ClassEMemory::Copy(table, kFast16, uint32_t(sizeof kFast16));
}

void ERender_Get_BltFlip16(ERDR_BLTFLIP* table) {
  if (!table) return;
  table[0] = ERdrBltFlip16_;
  table[1] = ERdrBltFlip16_ck;
}

void ERender_Get_BltFast32(ERDR_BLTFAST* table) {
  if (table) ClassEMemory::Copy(table, kFast32, uint32_t(sizeof kFast32));
}

void ERender_Get_BltFlip32(ERDR_BLTFLIP* table) {
  if (!table) return;
  table[0] = ERdrBltFlip32_;
  table[1] = ERdrBltFlip32_ck;
}

void ERender_FillTable(ERDR_KERNELTABLE* table, uint8_t renderformat) {
  if (!table) return;
  switch (renderformat) {
    case 1:
      ERender_Get_BltFast8(table->fast);
      ERender_Get_BltFlip8(table->flip);
      break;
    case 2:
      ERender_Get_BltFast12(table->fast);
      ERender_Get_BltFlip12(table->flip);
      break;
    case 4:
      ERender_Get_BltFast16(table->fast);
      ERender_Get_BltFlip16(table->flip);
      break;
    case 6:
      ERender_Get_BltFast32(table->fast);
      ERender_Get_BltFlip32(table->flip);
      break;
    default:
      break;
  }
}
