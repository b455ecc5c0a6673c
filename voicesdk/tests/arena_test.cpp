// The arena: pieces carved on one thread and released on others free their
// slab once the last one goes, whether the carving thread goes on or ends.
#include "../src/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace voicesdk {
namespace {

struct Piece {
    void *memory;
    Slab *slab;
};

std::vector<Piece> carve(Arena &arena, size_t count, size_t bytes)
{
    std::vector<Piece> pieces;
    for (size_t i = 0; i < count; ++i) {
        Piece piece{nullptr, nullptr};
        piece.memory = arena.allocate(bytes, &piece.slab);
        EXPECT_NE(piece.memory, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(piece.memory) % alignof(std::max_align_t), 0u);
        std::memset(piece.memory, static_cast<int>(i), bytes);  // each its own bytes
        pieces.push_back(piece);
    }
    return pieces;
}

void release_all(const std::vector<Piece> &pieces)
{
    for (const Piece &piece : pieces)
        release_piece(piece.memory, piece.slab);
}

TEST(Arena, SlabsGoWithTheirLastPieceWhicheverThreadReleasesIt)
{
    const long before = Slab::live();
    std::vector<Piece> pieces;
    bool carved_in_slabs = false;
    std::thread carver([&] {
        Arena arena;
        pieces = carve(arena, 1000, 40);  // several slabs' worth
        carved_in_slabs = pieces.front().slab != nullptr;
    });  // the arena ends with its thread and gives back its unused charge
    carver.join();
    if (!carved_in_slabs) {
        release_all(pieces);
        GTEST_SKIP() << "plain allocation in this build";
    }
    EXPECT_GT(Slab::live(), before + 1);
    for (size_t i = 0; i < pieces.size(); ++i)
        ASSERT_EQ(*static_cast<unsigned char *>(pieces[i].memory), static_cast<unsigned char>(i));
    std::thread releaser([&] { release_all(pieces); });
    releaser.join();
    EXPECT_EQ(Slab::live(), before);

    // The carving thread goes on: a full slab goes as soon as its pieces do,
    // the current one only once the arena moves on.
    Arena arena;
    std::vector<Piece> first = carve(arena, 1000, 40);
    const long while_carving = Slab::live();
    release_all(first);
    EXPECT_EQ(Slab::live(), before + 1);
    EXPECT_LT(Slab::live(), while_carving);
    arena.retire();
    EXPECT_EQ(Slab::live(), before);

    // Releases in a run are given back together: the slab goes when the
    // run ends (a piece of another slab, or a flush), not before.
    Arena later;
    std::vector<Piece> run = carve(arena, 400, 40);  // two slabs at least
    arena.retire();
    Slab *first_slab = run.front().slab;
    const long carved = Slab::live();
    for (const Piece &piece : run) {
        if (piece.slab == first_slab)
            later.release_later(piece.slab);
    }
    EXPECT_EQ(Slab::live(), carved);  // still counted on
    for (const Piece &piece : run) {
        if (piece.slab != first_slab)
            later.release_later(piece.slab);
    }
    EXPECT_EQ(Slab::live(), carved - 1);  // the first run ended
    later.flush();
    EXPECT_EQ(Slab::live(), before);

    // Large pieces come from malloc.
    Piece large{nullptr, nullptr};
    large.memory = arena.allocate(64 * 1024, &large.slab);
    ASSERT_NE(large.memory, nullptr);
    EXPECT_EQ(large.slab, nullptr);
    release_piece(large.memory, large.slab);
    EXPECT_EQ(Slab::live(), before);
}

}  // namespace
}  // namespace voicesdk
