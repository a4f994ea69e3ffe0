// The stores' contract, the same cases on SQLite and on PostgreSQL (a server of the test's
// own, skipped with the reason where PostgreSQL is not installed).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "server/store.h"
#include "tools/leaderboard_harness.h"

namespace {

using OpenStore = std::function<std::unique_ptr<RunStore>(const std::string& where)>;

struct Backend {
    const char* name;
    // A new empty database's address (a file, a URL), or "" with the reason to skip.
    std::function<std::string(std::string& why)> fresh;
    OpenStore open;
};

void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

std::string fresh_sqlite(std::string&) {
    // A folder of this process's own, removed when it ends.
    static const struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() / ("store-test-" + std::to_string(getpid()));
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    static int count = 0;
    std::filesystem::create_directories(folder.path);
    return (folder.path / ("runs-" + std::to_string(++count) + ".db")).string();
}

std::string fresh_postgres(std::string& why) {
    static TempPostgres server;
    static std::string failed;
    static bool started = false;
    static int count = 0;
    if (!started && failed.empty() && !server.start(failed)) failed = "skipped: " + failed;
    started = failed.empty();
    if (!started) return why = failed, "";
    return server.create_database("store_test_" + std::to_string(++count), why);
}

template <typename Open>
OpenStore opener(Open open) {
    return [open](const std::string& where) {
        std::string error;
        auto store = open(where, error);
        EXPECT_NE(store, nullptr) << error;
        return store;
    };
}

NewRun run(const std::string& digest, int32_t level, int32_t frames, int64_t arrived_ms, uint32_t date = 0) {
    return {std::string(64 - digest.size(), '0') + digest, "MWRP\0\xff" + digest, "P" + digest, level, frames,
            date, 1765000000 + arrived_ms, arrived_ms};
}

class StoreContract : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        std::string why;
        where_ = GetParam().fresh(why);
        if (where_.empty()) GTEST_SKIP() << why;
        store_ = GetParam().open(where_);
        ASSERT_NE(store_, nullptr);
    }
    std::vector<int64_t> ids(uint32_t date) {
        std::vector<int64_t> out;
        for (const BoardRow& row : store_->top(date, 100)) out.push_back(row.id);
        return out;
    }
    std::string where_;
    std::unique_ptr<RunStore> store_;
};

TEST_P(StoreContract, RanksByLevelThenFewerFramesThenEarlierArrival) {
    // Added in an order unlike the ranking; the names say the expected rank.
    const NewRun runs[] = {run("4", 30, 900, 50), run("1", 31, 2000, 90), run("2", 30, 800, 70),
                           run("5", 29, 10, 10),  run("3", 30, 900, 40)};
    std::map<std::string, int64_t> id;
    for (const NewRun& r : runs) id[r.name] = store_->add_run(r).id;
    const std::vector<BoardRow> top = store_->top(0, 100);
    ASSERT_EQ(top.size(), 5u);
    for (int rank = 1; rank <= 5; ++rank) {
        const BoardRow& row = top[rank - 1];
        EXPECT_EQ(row.rank, rank);
        EXPECT_EQ(row.name, "P" + std::to_string(rank));
        EXPECT_EQ(store_->rank_of(row.id, 0), rank);
        EXPECT_EQ(row.id, id[row.name]);
    }
    EXPECT_EQ(top[0].level, 31);
    EXPECT_EQ(top[0].frames, 2000);
    EXPECT_EQ(top[0].run_time, 1765000090);
    EXPECT_EQ(store_->top(0, 2).size(), 2u);
    EXPECT_EQ(store_->rank_of(id["P5"] + 1000, 0), 0);
}

TEST_P(StoreContract, DailyBoardsHoldOnlyTheirDatesRuns) {
    const int64_t early = store_->add_run(run("a", 10, 100, 1, 20261207)).id;
    const int64_t plain = store_->add_run(run("b", 50, 100, 2)).id;
    const int64_t late = store_->add_run(run("c", 20, 100, 3, 20261207)).id;
    const int64_t other = store_->add_run(run("d", 40, 100, 4, 20261206)).id;
    EXPECT_EQ(ids(20261207), (std::vector<int64_t>{late, early}));
    EXPECT_EQ(ids(20261206), (std::vector<int64_t>{other}));
    EXPECT_EQ(ids(0), (std::vector<int64_t>{plain, other, late, early}));
    EXPECT_TRUE(ids(20261208).empty());
    EXPECT_EQ(store_->rank_of(early, 20261207), 2);
    EXPECT_EQ(store_->rank_of(early, 0), 4);
    EXPECT_EQ(store_->rank_of(plain, 20261207), 0);
}

TEST_P(StoreContract, SameReplayIsOneEntryAndKeepsItsBytes) {
    const NewRun first = run("e", 12, 345, 1);
    const RunStore::Added added = store_->add_run(first);
    EXPECT_FALSE(added.duplicate);
    NewRun again = first;
    again.arrived_ms = 99;
    const RunStore::Added repeated = store_->add_run(again);
    EXPECT_TRUE(repeated.duplicate);
    EXPECT_EQ(repeated.id, added.id);
    EXPECT_EQ(store_->top(0, 100).size(), 1u);
    EXPECT_EQ(store_->replay(added.id), first.replay);  // bytes, zero and 0xff included
    EXPECT_EQ(store_->replay(added.id + 1), std::nullopt);
    // Kept when the store is opened again.
    store_.reset();
    store_ = GetParam().open(where_);
    EXPECT_EQ(store_->replay(added.id), first.replay);
    EXPECT_TRUE(store_->add_run(first).duplicate);
}

TEST_P(StoreContract, CountsRequestsPerAddressWithinTheWindow) {
    const int64_t minute = 60000;
    EXPECT_EQ(store_->note_request("10.0.0.1", 1000, minute), 1);
    EXPECT_EQ(store_->note_request("10.0.0.1", 2000, minute), 2);
    EXPECT_EQ(store_->note_request("10.0.0.2", 2500, minute), 1);
    EXPECT_EQ(store_->note_request("10.0.0.1", 61000, minute), 2);   // the note at 1000 is out
    EXPECT_EQ(store_->note_request("10.0.0.1", 200000, minute), 1);
}

// Two stores on one database stand for two server processes: threads of both add the same
// runs at once, and each run is stored once, under one id that every adder is told.
TEST_P(StoreContract, RacingAddersStoreEachReplayOnce) {
    std::unique_ptr<RunStore> second = GetParam().open(where_);
    ASSERT_NE(second, nullptr);
    constexpr int RUNS = 40, THREADS = 6;
    std::vector<std::vector<RunStore::Added>> seen(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            RunStore& store = t % 2 == 0 ? *store_ : *second;
            for (int i = 0; i < RUNS; ++i) seen[t].push_back(store.add_run(run("r" + std::to_string(i), i, 100, t)));
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(store_->top(0, 100).size(), static_cast<size_t>(RUNS));
    for (int i = 0; i < RUNS; ++i) {
        int fresh = 0;
        for (int t = 0; t < THREADS; ++t) {
            EXPECT_EQ(seen[t][i].id, seen[0][i].id);
            fresh += seen[t][i].duplicate ? 0 : 1;
        }
        EXPECT_EQ(fresh, 1) << "run " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(SQLite, StoreContract,
                         testing::Values(Backend{"sqlite", fresh_sqlite, opener(open_sqlite_store)}),
                         [](const auto&) { return "store"; });
INSTANTIATE_TEST_SUITE_P(PostgreSQL, StoreContract,
                         testing::Values(Backend{"postgres", fresh_postgres, opener(open_postgres_store)}),
                         [](const auto&) { return "store"; });

}  // namespace
