#include "matrix.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Both working blocks start with this many zero bytes.
constexpr std::size_t kDefaultScratch = 255;
// Largest element: sizes are 16-bit.
constexpr std::size_t kMaxElement = 65535;

}  // namespace

// ---------------------------------------------------------------------------
// TAbsMatrix

TAbsMatrix::TAbsMatrix()
    : RowCapacity(rowCapacity_),
      RowCount(rowCount_),
      LastError(lastError_),
      scratchA_(kDefaultScratch, 0),
      scratchB_(kDefaultScratch, 0) {}

TAbsMatrix::~TAbsMatrix() = default;

void TAbsMatrix::SetCapacity(uint16_t) {
  lastError_.clear();
}
void TAbsMatrix::SetRowCapacity(uint16_t, uint16_t) {}
uint16_t TAbsMatrix::GetRowCapacity(uint16_t) {
  lastError_.clear();
  return 0;
}
void TAbsMatrix::SetRowLength(uint16_t, uint16_t) {
  lastError_.clear();
}
uint16_t TAbsMatrix::GetRowLength(uint16_t) {
  lastError_.clear();
  return 0;
}
void TAbsMatrix::SwapRows(uint16_t, uint16_t) {
  lastError_.clear();
}
uint16_t TAbsMatrix::GetElement(void*, uint16_t, uint16_t, uint16_t& Size) {
  lastError_.clear();
  Size = 0;
  return 0;
}
void TAbsMatrix::SetElement(const void*, uint16_t, uint16_t, uint16_t) {
  lastError_.clear();
}

void TAbsMatrix::ReverseRows() {
  lastError_.clear();
  const uint16_t n = rowCount_;
  if (n < 2) {
    lastError_ = kErrFewRows;
    return;
  }
  for (uint32_t i = 1; i <= n / 2u; ++i) {
    SwapRows(static_cast<uint16_t>(i), static_cast<uint16_t>(n + 1 - i));
  }
}

void TAbsMatrix::ReverseRow(uint16_t Row) {
  lastError_.clear();
  const uint16_t n = GetRowLength(Row);
  if (n < 2) {
    lastError_ = kErrFewElements;
    return;
  }
  for (uint32_t i = 1; i <= n / 2u; ++i) {
    SwapElements(Row, static_cast<uint16_t>(i), Row, static_cast<uint16_t>(n + 1 - i));
  }
}

void TAbsMatrix::SetRowCount(uint16_t NewCount) {
  lastError_.clear();
  if (NewCount > rowCapacity_) {
    lastError_ = kErrRowRange;
    return;
  }
  // Rows above the current count are refused by SetRowLength; its text stays in
  // LastError, which callers of this operation have always seen.
  for (uint32_t r = uint32_t{NewCount} + 1; r <= rowCapacity_; ++r) {
    SetRowLength(static_cast<uint16_t>(r), 0);
  }
  rowCount_ = NewCount;
}

void TAbsMatrix::SwapElements(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2) {
  lastError_.clear();
  if (Row1 == Row2 && Col1 == Col2) return;
  if (Row1 == 0 || Row2 == 0 || Row1 > rowCount_ || Row2 > rowCount_) {
    lastError_ = kErrRowRange;
    return;
  }
  if (Col1 == 0 || Col2 == 0 || GetRowLength(Row1) < Col1 || GetRowLength(Row2) < Col2) {
    lastError_ = kErrColRange;
    return;
  }
  ExchangeValid(Row1, Col1, Row2, Col2);
}

void TAbsMatrix::SortRow(uint16_t Row) {
  lastError_.clear();
  if (Row == 0 || Row > rowCount_) {
    lastError_ = kErrSortRow;
    return;
  }
  const uint32_t n = GetRowLength(Row);
  if (n < 2) {
    lastError_ = kErrSortFew;
    return;
  }
  if (!OnCompare) return;
  // Shell sort with halving gaps; each gap repeats its pass until nothing moves.
  // The pass at gap 0 would only compare elements with themselves, so it is left
  // out (a comparison that is not 0 on equal blocks would make it loop forever).
  uint32_t gap = n;
  while ((gap /= 2) > 0) {
    bool exchanged = true;
    while (exchanged) {
      exchanged = false;
      for (uint32_t i = 1; i + gap <= n; ++i) {
        uint16_t sizeA = 0;
        uint16_t sizeB = 0;
        const uint8_t* a = PeekValid(Row, static_cast<uint16_t>(i + gap), 0, sizeA);
        const uint8_t* b = PeekValid(Row, static_cast<uint16_t>(i), 1, sizeB);
        if (OnCompare(b, sizeB, a, sizeA) > 0) {
          ExchangeValid(Row, static_cast<uint16_t>(i), Row, static_cast<uint16_t>(i + gap));
          exchanged = true;
        }
      }
    }
  }
}

void TAbsMatrix::ExchangeValid(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2) {
  scratchA_.resize(kMaxElement);
  scratchB_.resize(kMaxElement);
  uint16_t sizeA = 0;
  uint16_t sizeB = 0;
  GetElement(scratchA_.data(), Row1, Col1, sizeA);
  GetElement(scratchB_.data(), Row2, Col2, sizeB);
  SetElement(scratchA_.data(), Row2, Col2, sizeA);
  SetElement(scratchB_.data(), Row1, Col1, sizeB);
}

const uint8_t* TAbsMatrix::PeekValid(uint16_t Row, uint16_t Col, int Which, uint16_t& Size) {
  std::vector<uint8_t>& block = Which == 0 ? scratchA_ : scratchB_;
  block.resize(kMaxElement);
  GetElement(block.data(), Row, Col, Size);
  return block.data();
}

// ---------------------------------------------------------------------------
// TOgmMatrix

TOgmMatrix::~TOgmMatrix() {
  SetCapacity(0);
}

void TOgmMatrix::SetCapacity(uint16_t Rows) {
  lastError_.clear();
  if (Rows == rowCapacity_) return;
  if (Rows == 0) {
    std::vector<Row>().swap(rows_);
  } else {
    rows_.resize(Rows);
  }
  rowCount_ = std::min(rowCount_, Rows);
  rowCapacity_ = Rows;
}

void TOgmMatrix::SetRowCapacity(uint16_t RowNo, uint16_t Cols) {
  if (RowNo == 0) return;
  if (RowNo > rowCapacity_) {
    if (!AutoExpand) {
      lastError_ = kErrRowRange;
      return;
    }
    SetCapacity(RowNo);
  }
  Row& row = rows_[RowNo - 1];
  if (row.elems.size() == Cols) return;
  if (Cols < row.elems.size()) {
    row.length = std::min(row.length, Cols);
    if (Cols == 0) {
      std::vector<Element>().swap(row.elems);
      return;
    }
  }
  row.elems.resize(Cols);
}

uint16_t TOgmMatrix::GetRowCapacity(uint16_t RowNo) {
  lastError_.clear();
  if (RowNo == 0 || RowNo > rowCapacity_) {
    lastError_ = kErrRowRange;
    return 0;
  }
  return static_cast<uint16_t>(rows_[RowNo - 1].elems.size());
}

void TOgmMatrix::SetRowLength(uint16_t RowNo, uint16_t Len) {
  lastError_.clear();
  if (RowNo == 0 || RowNo > rowCount_) {
    lastError_ = kErrRowRange;
    return;
  }
  Row& row = rows_[RowNo - 1];
  if (Len > row.elems.size()) {
    lastError_ = kErrColRange;
    return;
  }
  // Cut elements keep their blocks for reuse; they only read as empty.
  for (uint32_t k = Len; k < row.length; ++k) row.elems[k].used = 0;
  row.length = Len;
}

uint16_t TOgmMatrix::GetRowLength(uint16_t RowNo) {
  lastError_.clear();
  if (RowNo == 0 || RowNo > rowCount_) return 0;
  return rows_[RowNo - 1].length;
}

void TOgmMatrix::SwapRows(uint16_t RowA, uint16_t RowB) {
  lastError_.clear();
  if (RowA == RowB) return;
  if (RowA == 0 || RowB == 0 || RowA > rowCount_ || RowB > rowCount_) {
    lastError_ = kErrRowRange;
    return;
  }
  std::swap(rows_[RowA - 1], rows_[RowB - 1]);
}

const TOgmMatrix::Element* TOgmMatrix::Find(uint16_t RowNo, uint16_t Col) const {
  if (RowNo == 0 || RowNo > rowCount_) return nullptr;
  const Row& row = rows_[RowNo - 1];
  if (Col == 0 || Col > row.length) return nullptr;
  return &row.elems[Col - 1];
}

const TOgmMatrix::Element* TOgmMatrix::Checked(uint16_t RowNo, uint16_t Col) {
  if (RowNo == 0 || RowNo > rowCount_) {
    lastError_ = kErrRowRange;
    return nullptr;
  }
  const Row& row = rows_[RowNo - 1];
  if (Col == 0 || Col > row.length) {
    lastError_ = kErrColRange;
    return nullptr;
  }
  return &row.elems[Col - 1];
}

uint16_t TOgmMatrix::GetElement(void* Buffer, uint16_t RowNo, uint16_t Col, uint16_t& Size) {
  lastError_.clear();
  const Element* e = Checked(RowNo, Col);
  if (e == nullptr) {
    Size = 0;
    return 0;
  }
  Size = e->used;
  if (Size == 0 || Buffer == nullptr) return 0;
  std::memcpy(Buffer, e->Bytes(), Size);
  return Size;
}

void TOgmMatrix::SetElement(const void* Buffer, uint16_t RowNo, uint16_t Col, uint16_t Size) {
  lastError_.clear();
  if (RowNo == 0 || Col == 0) {
    lastError_ = kErrEmptyWrite;
    return;
  }
  if (RowNo > rowCapacity_) {
    if (!AutoExpand) {
      lastError_ = kErrRowRange;
      return;
    }
    SetCapacity(RowNo);
  }
  Row& row = rows_[RowNo - 1];
  if (Col > row.elems.size()) {
    if (!AutoExpand) {
      lastError_ = kErrColRange;
      return;
    }
    SetRowCapacity(RowNo, Col);
  }
  Element& e = row.elems[Col - 1];
  bool copied = false;
  if (e.alloc < Size) {
    if (Size > kInline) {
      // The new block is filled before the old one goes, so a caller may pass
      // the element's own bytes.
      std::unique_ptr<uint8_t[]> block(new uint8_t[Size]);
      if (Buffer != nullptr) std::memcpy(block.get(), Buffer, Size);
      e.heap = std::move(block);
      copied = Buffer != nullptr;
    }
    e.alloc = Size;
  }
  if (!copied && Size > 0) {
    if (Buffer != nullptr) {
      std::memmove(e.Bytes(), Buffer, Size);
    } else {
      std::memset(e.Bytes(), 0, Size);
    }
  }
  e.used = Size;
  if (row.length < Col) row.length = Col;
  if (rowCount_ < RowNo) rowCount_ = RowNo;
}

const uint8_t* TOgmMatrix::ElementPtr(uint16_t RowNo, uint16_t Col) const {
  const Element* e = Find(RowNo, Col);
  if (e == nullptr || e->used == 0) return nullptr;
  return e->Bytes();
}

uint16_t TOgmMatrix::RowLength(uint16_t RowNo) const {
  if (RowNo == 0 || RowNo > rowCount_) return 0;
  return rows_[RowNo - 1].length;
}

uint16_t TOgmMatrix::ElementSize(uint16_t RowNo, uint16_t Col) const {
  const Element* e = Find(RowNo, Col);
  return e == nullptr ? 0 : e->used;
}

uint8_t TOgmMatrix::ElementByte(uint16_t RowNo, uint16_t Col) {
  lastError_.clear();
  const Element* e = Checked(RowNo, Col);
  if (e == nullptr || e->used == 0) return 0;
  return e->Bytes()[0];
}

double TOgmMatrix::ElementDouble(uint16_t RowNo, uint16_t Col) {
  lastError_.clear();
  const Element* e = Checked(RowNo, Col);
  if (e == nullptr || e->used < 8) return 0.0;
  return GetDoubleLE(e->Bytes() + e->used - 8);
}

void TOgmMatrix::ExchangeValid(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2) {
  // Exchanging the descriptors moves no bytes; each block goes with its content.
  std::swap(rows_[Row1 - 1].elems[Col1 - 1], rows_[Row2 - 1].elems[Col2 - 1]);
}

const uint8_t* TOgmMatrix::PeekValid(uint16_t RowNo, uint16_t Col, int, uint16_t& Size) {
  const Element& e = rows_[RowNo - 1].elems[Col - 1];
  Size = e.used;
  return e.Bytes();
}

// ---------------------------------------------------------------------------
// TKivMatrix

TKivMatrix::TKivMatrix() {
  OnCompare = CompareTrailingDouble;
}

int32_t CompareTrailingDouble(const uint8_t* A, uint16_t SizeA, const uint8_t* B, uint16_t SizeB) {
  const double a = (A != nullptr && SizeA >= 8) ? GetDoubleLE(A + SizeA - 8) : 0.0;
  const double b = (B != nullptr && SizeB >= 8) ? GetDoubleLE(B + SizeB - 8) : 0.0;
  const double d = a - b;
  if (d > 0) return 1;
  if (d < 0) return -1;
  return 0;
}

void PutDoubleLE(uint8_t* P, double Value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &Value, sizeof bits);
  for (int i = 0; i < 8; ++i) P[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double GetDoubleLE(const uint8_t* P) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= uint64_t{P[i]} << (8 * i);
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// ---------------------------------------------------------------------------
// Bits and hexadecimal text

namespace {
uint8_t BitMask(int Bit) {
  return (Bit >= 0 && Bit < 8) ? static_cast<uint8_t>(1u << Bit) : 0;
}
}  // namespace

void SetBit(bool Value, int Bit, uint8_t& B) {
  const uint8_t mask = BitMask(Bit);
  B = Value ? static_cast<uint8_t>(B | mask) : static_cast<uint8_t>(B & ~mask);
}

bool GetBit(int Bit, uint8_t B) {
  return (B & BitMask(Bit)) != 0;
}

uint8_t SwapBits(int BitA, int BitB, uint8_t& B) {
  const bool a = GetBit(BitA, B);
  const bool b = GetBit(BitB, B);
  SetBit(a, BitB, B);
  SetBit(b, BitA, B);
  return B;
}

int32_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw EHexError(std::string(1, c) + " is not a hex value");
}

int32_t HexToInt(const std::string& s) {
  if (s.empty()) throw EHexError("HexToInt - trying convert empty string");
  // Unsigned arithmetic wraps at 32 bits like the original 32-bit integers.
  uint32_t result = 0;
  uint32_t weight = 1;
  for (auto it = s.rbegin(); it != s.rend(); ++it) {
    result += static_cast<uint32_t>(HexDigitValue(*it)) * weight;
    weight *= 16u;
  }
  return static_cast<int32_t>(result);
}
