#include "app/program_state.h"

namespace quellaton {

void FoundTable::clear(int rows, int addresses) {
    for (int r = 0; r < std::min(rows, Size); ++r) {
        for (int a = 0; a < std::min(addresses, Size); ++a) {
            marks_[r * Size + a] = false;
        }
    }
}

void FoundTable::mark(int row, int address) {
    if (row >= 0 && row < Size && address >= 0 && address < Size) {
        marks_[row * Size + address] = true;
    }
}

bool FoundTable::at(int row, int address) const {
    return row >= 0 && row < Size && address >= 0 && address < Size && marks_[row * Size + address];
}

ProgramState::ProgramState(AppOptions opts, QObject* parent)
    : QObject(parent), options(std::move(opts)),
      builders(
          image, sendSlots, [this] { return canQueue(); }, [this] { return DeviceAddress; }) {}

} // namespace quellaton
