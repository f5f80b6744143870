#pragma once

// Handing part of a main budget item to another contractor: the units and
// amount handed over leave the item and become a new sub-item of the same
// concept, process and front, assigned to the receiving contractor. Both
// records are written in one transaction. CAM_CONT gathers the inputs and
// shows the outcome; the rules run without it.

#include <cstdint>

#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

// What is left of an item to hand over.
struct TransferBalance {
  double budget = 0;     // labour with its variation
  double paid = 0;       // what was estimated of it
  double left = 0;       // budget - paid
  double unitsLeft = 0;  // the quantity in proportion to what is left; 0 without budget
  double unitPrice = 0;  // budget per unit; 0 without quantity
};
TransferBalance transferBalance(const PAR& item);

// The first of C + 0.01 ... C + 0.99 free for the item's process and front,
// 0 when all are taken. Moves the buffer of `part`.
Status freeSubItem(db::Table& part, const PAR& item, double& number);

struct ItemTransfer {
  std::int64_t item = 0;        // record position of the main item in PART
  double subItem = 0;           // the new sub-item's number (freeSubItem)
  std::int16_t contractor = 0;  // who receives
  double units = 0;
  double amount = 0;
};

struct TransferResult {
  // The step a failure stopped at, for the message that reports it.
  FileAction failedAt = FileAction::Transaction;
};

// Writes the transfer: all of it or, on failure, nothing. Afterwards the PART
// buffer holds the new sub-item. Refuses (ValueRefused) a transfer that is
// not one: a sub-item or a number that is not one of the item's, nobody or
// the item's own contractor receiving, or nothing handed over.
Status transferItem(db::Context& ctx, const ItemTransfer& transfer, TransferResult* result);

}  // namespace velmora::estimates
