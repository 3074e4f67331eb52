// Matrix containers shared by every table-like store of the program: jagged
// two-dimensional arrays of opaque byte blocks, rows and columns numbered from 1.
// Operations never throw; each one leaves the text of its failure in LastError
// (empty on success) and returns a neutral value.
//
// Also the bit and hexadecimal helpers the device object, the event lister and the
// graph share.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Comparison used by SortRow: (block A, size A, block B, size B) -> <0, 0, >0.
using TCompareFunc =
    std::function<int32_t(const uint8_t* A, uint16_t SizeA, const uint8_t* B, uint16_t SizeB)>;

// Failure texts, exactly as the program reports them.
inline constexpr const char* kErrRowRange = "Row index out of range";
inline constexpr const char* kErrColRange = "Column index out of range";
inline constexpr const char* kErrEmptyWrite = "Empty column or row writing";
inline constexpr const char* kErrFewRows = "board has less than two lines";
inline constexpr const char* kErrFewElements = "Row has less than two elements";
inline constexpr const char* kErrSortRow = "Sorting: Row index out of range";
inline constexpr const char* kErrSortFew = "Data in row lee than 2";

// The abstract matrix: state, error reporting and the operations built on top of
// the storage operations (reversing, swapping elements, sorting).
class TAbsMatrix {
 public:
  TAbsMatrix();
  virtual ~TAbsMatrix();
  TAbsMatrix(const TAbsMatrix&) = delete;
  TAbsMatrix& operator=(const TAbsMatrix&) = delete;

  // Read-only views of the state (callers read them directly, never write them).
  const uint16_t& RowCapacity;   // row slots allocated
  const uint16_t& RowCount;      // rows in use, 0..RowCapacity
  const std::string& LastError;  // empty when the last operation succeeded

  // When true, SetElement and SetRowCapacity grow the storage instead of failing.
  bool AutoExpand = true;
  // Used by SortRow; not set by TAbsMatrix and TOgmMatrix.
  TCompareFunc OnCompare;

  // Storage operations; empty here (results 0), implemented by TOgmMatrix.
  virtual void SetCapacity(uint16_t Rows);
  virtual void SetRowCapacity(uint16_t Row, uint16_t Cols);
  virtual uint16_t GetRowCapacity(uint16_t Row);
  virtual void SetRowLength(uint16_t Row, uint16_t Len);
  virtual uint16_t GetRowLength(uint16_t Row);
  virtual void SwapRows(uint16_t RowA, uint16_t RowB);
  // Copies the element into Buffer (which must have room for it); Size = bytes
  // stored (0 for an empty element or on failure). Returns the bytes copied.
  virtual uint16_t GetElement(void* Buffer, uint16_t Row, uint16_t Col, uint16_t& Size);
  virtual void SetElement(const void* Buffer, uint16_t Row, uint16_t Col, uint16_t Size);
  // Implemented here on top of the storage operations.
  virtual void ReverseRows();
  virtual void ReverseRow(uint16_t Row);

  // Empties every row above NewCount (storage kept for reuse), RowCount = NewCount.
  void SetRowCount(uint16_t NewCount);
  void SwapElements(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2);
  // Shell sort ascending by OnCompare; not stable.
  void SortRow(uint16_t Row);

 protected:
  // Exchanges two elements known to be valid; the base goes through a scratch
  // copy, TOgmMatrix swaps its descriptors.
  virtual void ExchangeValid(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2);
  // View of an element known to be valid; the base copies it into scratch block
  // A (Which 0) or B (Which 1), TOgmMatrix reads it in place.
  virtual const uint8_t* PeekValid(uint16_t Row, uint16_t Col, int Which, uint16_t& Size);

  uint16_t rowCapacity_ = 0;
  uint16_t rowCount_ = 0;
  std::string lastError_;
  // Working blocks for copies made by the base operations.
  std::vector<uint8_t> scratchA_;
  std::vector<uint8_t> scratchB_;
};

// The matrix with its storage: a row array of row descriptors, each holding its
// element descriptors. Capacities reported are exactly those requested; the memory
// behind them grows geometrically, so appending is amortised constant time.
class TOgmMatrix : public TAbsMatrix {
 public:
  TOgmMatrix() = default;
  ~TOgmMatrix() override;

  void SetCapacity(uint16_t Rows) override;
  void SetRowCapacity(uint16_t Row, uint16_t Cols) override;
  uint16_t GetRowCapacity(uint16_t Row) override;
  void SetRowLength(uint16_t Row, uint16_t Len) override;
  uint16_t GetRowLength(uint16_t Row) override;
  void SwapRows(uint16_t RowA, uint16_t RowB) override;
  uint16_t GetElement(void* Buffer, uint16_t Row, uint16_t Col, uint16_t& Size) override;
  void SetElement(const void* Buffer, uint16_t Row, uint16_t Col, uint16_t Size) override;

  // The element's stored bytes for reading in place, or null when the position is
  // invalid or the element is empty. Valid until the element is next written.
  // Leaves LastError alone.
  const uint8_t* ElementPtr(uint16_t Row, uint16_t Col) const;
  // Length of a row in use (0 for an invalid row); leaves LastError alone.
  uint16_t RowLength(uint16_t Row) const;
  // Bytes stored in the element; 0 when empty or the position is invalid.
  // Leaves LastError alone.
  uint16_t ElementSize(uint16_t Row, uint16_t Col) const;
  // First byte of the element; 0 when empty or invalid (LastError as GetElement).
  uint8_t ElementByte(uint16_t Row, uint16_t Col);
  // The double held little-endian in the element's last 8 bytes; 0.0 when the
  // element is empty, shorter than 8 bytes or invalid (LastError as GetElement).
  double ElementDouble(uint16_t Row, uint16_t Col);

 protected:
  void ExchangeValid(uint16_t Row1, uint16_t Col1, uint16_t Row2, uint16_t Col2) override;
  const uint8_t* PeekValid(uint16_t Row, uint16_t Col, int Which, uint16_t& Size) override;

 private:
  // Small blocks live inside the descriptor: no allocation per record.
  static constexpr uint16_t kInline = 32;
  struct Element {
    uint16_t used = 0;                // bytes stored; 0 = empty
    uint16_t alloc = 0;               // size of the data block (only ever grows)
    std::unique_ptr<uint8_t[]> heap;  // the block when alloc > kInline
    std::array<uint8_t, kInline> local{};
    uint8_t* Bytes() { return alloc > kInline ? heap.get() : local.data(); }
    const uint8_t* Bytes() const { return alloc > kInline ? heap.get() : local.data(); }
  };
  struct Row {
    std::vector<Element> elems;  // size() == capacity
    uint16_t length = 0;
  };
  // Validates Row/Col as GetElement does, setting LastError; null on failure.
  const Element* Checked(uint16_t Row, uint16_t Col);
  const Element* Find(uint16_t Row, uint16_t Col) const;

  std::vector<Row> rows_;  // size() == RowCapacity
};

// The matrix of the event lister: sorts rows by the double in each element's last
// 8 bytes (the event time).
class TKivMatrix : public TOgmMatrix {
 public:
  TKivMatrix();
};

// +1, -1 or 0 as the trailing double of A is above, below or equal to that of B.
// An element shorter than 8 bytes counts as 0.0.
int32_t CompareTrailingDouble(const uint8_t* A, uint16_t SizeA, const uint8_t* B, uint16_t SizeB);

// Doubles inside elements are stored as their IEEE bit pattern, little-endian.
void PutDoubleLE(uint8_t* P, double Value);
double GetDoubleLE(const uint8_t* P);

// Bit helpers; bit 0 is the least significant. Bits outside 0..7 have mask 0.
void SetBit(bool Value, int Bit, uint8_t& B);
bool GetBit(int Bit, uint8_t B);
// Exchanges bits BitA and BitB of B and returns the new B.
uint8_t SwapBits(int BitA, int BitB, uint8_t& B);

class EHexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Upper-case hexadecimal text to a 32-bit integer; 32-bit wrap-around (digits from
// the ninth from the right on weigh 0). Throws EHexError on an empty text or a
// character that is not 0-9/A-F.
int32_t HexToInt(const std::string& s);
// '0'..'9' -> 0..9, 'A'..'F' -> 10..15; anything else throws EHexError.
int32_t HexDigitValue(char c);
