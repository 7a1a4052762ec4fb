// What the owners close: only what their validity rule accepts, and each handle once.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>

#include "win32_owner.h"

namespace {

std::vector<HANDLE> g_closed;

void RecordClose(HANDLE handle) noexcept {
    g_closed.push_back(handle);
}

using RecordedHandle = qv::UniqueResource<HANDLE, RecordClose>;
using RecordedFile = qv::UniqueResource<HANDLE, RecordClose, &qv::IsOpenFileHandle>;

const auto kSome = reinterpret_cast<HANDLE>(0x44);

TEST(UniqueResource, ClosesWhatItsRuleAccepts) {
    struct Row {
        const char* name;
        HANDLE held;
        bool handleCloses;
        bool fileCloses;
    };
    const Row rows[] = {
        {"null", nullptr, false, false},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE, true, false},
        {"a handle", kSome, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_closed.clear();
        {
            const RecordedHandle handle(row.held);
            EXPECT_EQ(static_cast<bool>(handle), row.handleCloses);
        }
        EXPECT_EQ(g_closed, row.handleCloses ? std::vector<HANDLE>{row.held} : std::vector<HANDLE>{});
        g_closed.clear();
        {
            const RecordedFile file(row.held);
            EXPECT_EQ(static_cast<bool>(file), row.fileCloses);
        }
        EXPECT_EQ(g_closed, row.fileCloses ? std::vector<HANDLE>{row.held} : std::vector<HANDLE>{});
    }
}

TEST(UniqueResource, MoveClosesOnlyWhatItReplaces) {
    const auto other = reinterpret_cast<HANDLE>(0x48);
    g_closed.clear();
    {
        RecordedFile first(kSome);
        RecordedFile second(other);
        second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(g_closed, std::vector<HANDLE>{other});
        EXPECT_EQ(second.release(), kSome);
    }
    EXPECT_EQ(g_closed, std::vector<HANDLE>{other});
}

}  // namespace
