// The bin walk: every item of the shell's recycle-bin folder is counted and its find data read.
#include "bin_measurement.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "bin_total.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

constexpr ULONG kBatch = 10;
constexpr SHCONTF kEnumFlags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
static_assert(kEnumFlags == 0xE0);
static_assert(CSIDL_BITBUCKET == 10);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);

// Item identifier lists come from, and go back to, the shell's allocator.
class ShellIdList {
public:
    explicit ShellIdList(IMalloc* allocator) noexcept : allocator_(allocator) {}
    ShellIdList(const ShellIdList&) = delete;
    ShellIdList& operator=(const ShellIdList&) = delete;
    ~ShellIdList() {
        if (list_ != nullptr) allocator_->Free(list_);
    }
    LPITEMIDLIST* put() noexcept { return &list_; }
    LPCITEMIDLIST get() const noexcept { return list_; }

private:
    IMalloc* allocator_;
    LPITEMIDLIST list_ = nullptr;
};

// The shell's own total of all bins, for when the walk's items say nothing about their size.
std::uint64_t ShellTotalSize() noexcept {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    if (::SHQueryRecycleBinA(nullptr, &info) != S_OK || info.i64Size < 0) return 0;
    return static_cast<std::uint64_t>(info.i64Size);
}

bool Abandoned(const std::atomic<bool>* abandon) noexcept {
    return abandon != nullptr && abandon->load();
}

BinMeasurement Walk(const std::atomic<bool>* abandon) noexcept {
    BinTotal total;
    qv::ComRef<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.put())) || !allocator) return {};
    ShellIdList binLocation(allocator.get());
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, binLocation.put())) ||
        binLocation.get() == nullptr) {
        return {};
    }
    qv::ComRef<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return {};
    qv::ComRef<IShellFolder> bin;
    if (FAILED(desktop->BindToObject(binLocation.get(), nullptr, IID_IShellFolder, bin.putVoid())) || !bin) return {};
    // Some shells read the whole bin when the enumeration starts: the costliest step to skip.
    if (Abandoned(abandon)) return {};
    qv::ComRef<IEnumIDList> items;
    // S_FALSE with no enumerator is an empty folder.
    if (FAILED(bin->EnumObjects(nullptr, kEnumFlags, items.put())) || !items) return {};

    for (;;) {
        if (Abandoned(abandon)) break;
        LPITEMIDLIST batch[kBatch] = {};
        ULONG fetched = 0;
        const HRESULT result = items->Next(kBatch, batch, &fetched);
        if (FAILED(result)) break;
        if (fetched > kBatch) fetched = kBatch;
        // Every batch is counted, read and freed whatever the result: the final short batch comes
        // with S_FALSE on some shells and with S_OK on others.
        AddBatch(total, fetched);
        for (ULONG i = 0; i < fetched; ++i) {
            if (batch[i] == nullptr) continue;
            WIN32_FIND_DATAA data{};
            const bool readable = ::SHGetDataFromIDListA(bin.get(), batch[i], SHGDFIL_FINDDATA, &data, sizeof data) ==
                                  S_OK;
            AddItemData(total, readable, data.cFileName[0] != '\0', data.nFileSizeHigh, data.nFileSizeLow);
            allocator->Free(batch[i]);
        }
        if (fetched == 0 || result != S_OK) break;
    }
    if (NeedsShellTotal(total) && !Abandoned(abandon)) total.size = ShellTotalSize();
    return {total.count, total.size};
}

}  // namespace

BinMeasurement MeasureBin() noexcept {
    return Walk(nullptr);
}

BinMeasurement MeasureBin(const std::atomic<bool>& abandon) noexcept {
    return Walk(&abandon);
}

BinMeasurement MeasureBinTotals(const std::atomic<bool>& abandon) noexcept {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    const bool answered = ::SHQueryRecycleBinA(nullptr, &info) == S_OK;
    if (const auto counts = FromShellQuery(answered, info.i64NumItems, info.i64Size))
        return {counts->count, counts->size};
    return Walk(&abandon);
}

BinMeasurement MeasureBinTotals() noexcept {
    static const std::atomic<bool> kNeverAbandoned{false};
    return MeasureBinTotals(kNeverAbandoned);
}

}  // namespace wastewatch
