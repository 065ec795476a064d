// The index of the catalog's names that the "Fly to" prompt searches: the
// search form of a name, what a search found, and the index itself, made in
// a few steps that a thread of its own can give up between.
#ifndef STARHOP_NAME_INDEX_H
#define STARHOP_NAME_INDEX_H

#include "engine/stars.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class star_type;

// A name as the search compares it: ASCII letters in lower case, every run of
// spaces made one space, none at either end. "  Alp   CMa " gives "alp cma".
std::string search_form(const char* name);

// What a search found.
struct name_match {
    enum kind_type { empty, found, several, none };
    kind_type kind = empty;                        // empty: the text held nothing but spaces
    const star_type* star = nullptr;               // found: the star
    std::vector<const star_type*> candidates;      // several: up to five, one per name, in name order
    std::size_t more = 0;                          // several: how many other names match besides those
};

// Every named star of the list, sorted by search form, so that an exact name
// and the names that start with a text are both found by binary search. It
// holds no names of its own: only each named star's list position, in as few
// bits as the list's length needs, the names read from the records.
class name_index {
public:
    static constexpr int listed = 5;               // candidates named when several match
    static constexpr int build_steps = 5;          // the steps of making one

    // Thrown by a build that gave up because it was asked to stop.
    struct abandoned {};
    // Called on the building thread after each step, with the steps done so
    // far and the flag that asks the build to stop.
    using step_hook = std::function<void(int steps_done, const std::atomic<bool>& stopping)>;

    // Throws std::bad_alloc when memory runs out, holding nothing.
    explicit name_index(const star_type* first);
    // The same, given up with name_index::abandoned once `stopping` is raised:
    // it is looked at before each step, each batch and every so many stars.
    name_index(const star_type* first, const std::atomic<bool>& stopping, const step_hook& step_done = {});
    // An exact name first (of stars whose names differ only in case, the one
    // written as typed, else the first in the catalog); else the only name
    // that starts with the text; else up to five candidates, or none.
    name_match find(const std::string& text) const;
    std::size_t size() const { return count_; }
    // Memory kept, in bytes.
    std::size_t bytes() const;
    // How many builds this process has begun, finished or not.
    static std::size_t builds_begun();

    static constexpr std::size_t key_size = star_name_length;
    using key = char[key_size];                    // search form, zero-padded

private:
    // A stretch of the list whose records lie one after another in memory.
    struct run {
        std::size_t first_index;                   // list position of its first record
        const star_type* first;
    };
    std::vector<run> runs_;
    mapped_pages order_;                           // list positions by key, bits_ each; equal keys in catalog order
    std::size_t count_ = 0;
    int bits_ = 1;

    class builder;                                 // what a build holds between its steps

    std::size_t position(std::size_t k) const;     // of the k-th star by key
    const star_type* record(std::size_t index) const;
    const star_type* star(std::size_t k) const { return record(position(k)); }
    // The first k in [from, to) whose key is not below `want` (`after`: above it).
    std::size_t search(const key& want, std::size_t from, std::size_t to, bool after) const;
    // Of the stars from `low` whose key is `probe`, the one whose name is
    // written as `text` is, else the first.
    const star_type* spelled_as_typed(const key& probe, std::size_t low, const std::string& text) const;
    // Into `m`, what the names that start with `want` (from `low` on) give:
    // the only one found, or several listed; left as it is when there is none.
    void starting_with(const std::string& want, std::size_t low, name_match& m) const;
    // Different names before each block of positions, so that the names of
    // any stretch are a difference of two counts and two blocks' comparisons.
    static constexpr std::size_t block = 1024;
    std::vector<std::uint32_t> names_before_;
    std::size_t names_up_to(std::size_t k) const;  // different names among the first k
};

#endif
