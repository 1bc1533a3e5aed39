#include "image/packed_dib.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace ravelle {

std::optional<std::size_t> DibStride(int64_t width, int bitCount) {
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
  }
  if (width <= 0 || width > int64_t{kMaxDibBytes} * 8) return std::nullopt;
  const uint64_t bits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitCount);
  const uint64_t stride = (bits + 31) / 32 * 4;
  if (stride > kMaxDibBytes) return std::nullopt;
  return static_cast<std::size_t>(stride);
}

std::size_t ColorTableEntries(const BitmapInfoHeader& header) {
  if (header.biBitCount > 8) return 0;
  if (header.biClrUsed != 0) return header.biClrUsed;
  return std::size_t{1} << header.biBitCount;
}

std::optional<std::size_t> DibBlockSize(const BitmapInfoHeader& header) {
  const auto stride = DibStride(header.biWidth, header.biBitCount);
  if (!stride || header.biHeight <= 0) return std::nullopt;
  const uint64_t entries = ColorTableEntries(header);
  const uint64_t rows = static_cast<uint64_t>(*stride) * static_cast<uint64_t>(header.biHeight);
  const uint64_t total = 40 + 4 * entries + rows;
  if (entries > kMaxDibBytes || rows > kMaxDibBytes || total > kMaxDibBytes) return std::nullopt;
  return static_cast<std::size_t>(total);
}

DibSize DibSizeCheck(const BitmapInfoHeader& header) {
  switch (header.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return DibSize::Invalid;
  }
  if (header.biWidth <= 0 || header.biHeight <= 0) return DibSize::Invalid;
  return DibBlockSize(header) ? DibSize::Fits : DibSize::OverLimit;
}

BitmapInfoHeader& PackedDib::Header() {
  return *reinterpret_cast<BitmapInfoHeader*>(block_.get());
}

const BitmapInfoHeader& PackedDib::Header() const {
  return *reinterpret_cast<const BitmapInfoHeader*>(block_.get());
}

std::span<RgbQuad> PackedDib::Colors() {
  if (!*this) return {};
  const std::size_t fits = (size_ - 40) / 4;
  return {reinterpret_cast<RgbQuad*>(block_.get() + 40), std::min(ColorTableEntries(Header()), fits)};
}

std::span<const RgbQuad> PackedDib::Colors() const {
  return const_cast<PackedDib*>(this)->Colors();
}

std::size_t PackedDib::Stride() const {
  if (!*this) return 0;
  return DibStride(Header().biWidth, Header().biBitCount).value_or(0);
}

std::size_t PackedDib::PixelOffset() const {
  if (!*this) return 0;
  const std::size_t entries = ColorTableEntries(Header());
  return std::min<std::size_t>(size_, 40 + 4 * std::min<std::size_t>(entries, size_));
}

std::span<uint8_t> PackedDib::Pixels() {
  if (!*this) return {};
  const std::size_t offset = PixelOffset();
  const uint64_t rows = static_cast<uint64_t>(Stride()) * static_cast<uint64_t>(std::max(Header().biHeight, 0));
  const std::size_t length = static_cast<std::size_t>(std::min<uint64_t>(rows, size_ - offset));
  return {block_.get() + offset, length};
}

std::span<const uint8_t> PackedDib::Pixels() const {
  return const_cast<PackedDib*>(this)->Pixels();
}

std::span<uint8_t> PackedDib::Row(int y) {
  const std::size_t stride = Stride();
  const std::span<uint8_t> pixels = Pixels();
  if (y < 0 || stride == 0) return {};
  const std::size_t start = static_cast<std::size_t>(y) * stride;
  if (start + stride > pixels.size()) return {};
  return pixels.subspan(start, stride);
}

std::span<const uint8_t> PackedDib::Row(int y) const {
  return const_cast<PackedDib*>(this)->Row(y);
}

PackedDib PackedDib::Clone() const {
  if (!*this) return {};
  PackedDib copy = AllocateDib(size_);
  if (copy) std::memcpy(copy.block_.get(), block_.get(), size_);
  return copy;
}

void DibBlockDeleter::operator()(uint8_t* p) const {
  if (mapped != 0) {
    ::munmap(p, mapped);
  } else {
    std::free(p);
  }
}

BlockPtr AllocateBlock(std::size_t bytes) {
  constexpr std::size_t kLarge = std::size_t{8} << 20;
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes >= kLarge) {
    const std::size_t mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    ::madvise(block, mapped, MADV_HUGEPAGE);
    return BlockPtr(static_cast<uint8_t*>(block), DibBlockDeleter{mapped});
  }
  return BlockPtr(static_cast<uint8_t*>(std::calloc(std::max<std::size_t>(bytes, 1), 1)));
}

PackedDib AllocateDib(std::size_t bytes) {
  PackedDib dib;
  if (bytes < sizeof(BitmapInfoHeader) || bytes > kMaxDibBytes) return dib;
  dib.block_ = AllocateBlock(bytes);
  if (dib.block_) dib.size_ = bytes;
  return dib;
}

void ClearRowPadding(PackedDib& dib) { ClearRowPadding(dib, 0, dib.Height()); }

void ClearRowPadding(PackedDib& dib, int first, int count) {
  if (!dib || first < 0 || count <= 0) return;
  const std::size_t stride = dib.Stride();
  const uint64_t bits = static_cast<uint64_t>(dib.Width()) * static_cast<uint64_t>(dib.BitCount());
  const std::size_t used = static_cast<std::size_t>((bits + 7) / 8);
  const int spare = static_cast<int>(used * 8 - bits);
  if (stride == 0 || (used == stride && spare == 0)) return;
  const int end = static_cast<int>(std::min<int64_t>(int64_t{first} + count, dib.Height()));
  for (int y = first; y < end; ++y) {
    const std::span<uint8_t> row = dib.Row(y);
    if (row.empty()) return;
    if (spare != 0) row[used - 1] &= static_cast<uint8_t>(0xFF << spare);
    std::fill(row.begin() + static_cast<std::ptrdiff_t>(used), row.end(), uint8_t{0});
  }
}

PackedDib CreateDib(int width, int height, int bitCount, uint32_t clrUsed) {
  BitmapInfoHeader header;
  header.biWidth = width;
  header.biHeight = height;
  header.biBitCount = static_cast<uint16_t>(bitCount);
  header.biClrUsed = clrUsed;
  const auto size = DibBlockSize(header);
  if (!size) return {};
  PackedDib dib = AllocateDib(*size);
  if (!dib) return dib;
  header.biSizeImage = static_cast<uint32_t>(*DibStride(width, bitCount) * static_cast<std::size_t>(height));
  dib.Header() = header;
  return dib;
}

}  // namespace ravelle
