#include "similar/SimilarGrouping.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace {

constexpr int keyBits = 16;
constexpr int keys = 64 / keyBits;

// Union-find over indices; a set's root is its smallest index, so groups come out ordered.
class Sets
{
public:
    explicit Sets(size_t count) : m_parent(count)
    {
        for (size_t i = 0; i < count; ++i)
            m_parent[i] = quint32(i);
    }
    quint32 find(quint32 i)
    {
        while (m_parent[i] != i)
            i = m_parent[i] = m_parent[m_parent[i]];
        return i;
    }
    void unite(quint32 a, quint32 b)
    {
        a = find(a), b = find(b);
        if (a != b)
            m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<quint32> m_parent;
};

quint32 keyOf(const PhotoSignature &signature, int key)
{
    return quint32(signature.coarse >> (key * keyBits)) & ((1u << keyBits) - 1);
}

} // namespace

bool showSamePicture(const PhotoSignature &a, const PhotoSignature &b)
{
    return !a.featureless() && !b.featureless() && coarseDistance(a, b) <= similarCoarseBits &&
           fineDistance(a, b) <= similarFineBits;
}

std::vector<std::vector<quint32>> groupSimilar(std::span<const PhotoSignature> signatures,
                                               const std::atomic<bool> &stop)
{
    static_assert(similarCoarseBits < 2 * keys, "the search finds only pairs within one bit on some key");
    const size_t count = signatures.size();
    if (count < 2 || stop)
        return {};
    Sets sets(count);
    std::vector<quint32> indexOf(count);
    // Identical signatures (copies of one file) join at once, and only the first of each
    // run enters the buckets: a thousand copies of one picture would otherwise make their
    // bucket compare every pair of them, four times.
    std::vector<bool> inBuckets(count);
    std::iota(indexOf.begin(), indexOf.end(), 0);
    std::sort(indexOf.begin(), indexOf.end(), [&](quint32 a, quint32 b) {
        return std::tie(signatures[a].coarse, signatures[a].fine, a) < std::tie(signatures[b].coarse, signatures[b].fine, b);
    });
    size_t inBucketCount = 0;
    for (size_t at = 0; at < count; ++at) {
        const quint32 i = indexOf[at];
        if (signatures[i].featureless()) // joins nothing
            continue;
        if (at > 0 && signatures[indexOf[at - 1]] == signatures[i]) {
            sets.unite(indexOf[at - 1], i);
        } else {
            inBuckets[i] = true;
            ++inBucketCount;
        }
    }
    // Per key, the signatures in the order of their key (a counting sort), so that each
    // bucket and its neighbours are read in sequence.
    std::vector<PhotoSignature> ordered(inBucketCount);
    std::vector<quint32> starts((size_t(1) << keyBits) + 1);
    for (int key = 0; key < keys; ++key) {
        std::fill(starts.begin(), starts.end(), 0);
        for (size_t i = 0; i < count; ++i)
            if (inBuckets[i])
                ++starts[keyOf(signatures[i], key) + 1];
        for (size_t k = 1; k < starts.size(); ++k)
            starts[k] += starts[k - 1];
        for (size_t i = 0; i < count; ++i) {
            if (!inBuckets[i])
                continue;
            const quint32 at = starts[keyOf(signatures[i], key)]++;
            ordered[at] = signatures[i];
            indexOf[at] = quint32(i);
        }
        for (size_t k = starts.size() - 1; k > 0; --k) // back to each bucket's start
            starts[k] = starts[k - 1];
        starts[0] = 0;

        const auto compare = [&](quint32 a, quint32 b) {
            if (showSamePicture(ordered[a], ordered[b]))
                sets.unite(indexOf[a], indexOf[b]);
        };
        for (quint32 bucket = 0; bucket < (1u << keyBits); ++bucket) {
            if ((bucket & 1023) == 0 && stop)
                return {};
            const quint32 first = starts[bucket], end = starts[bucket + 1];
            for (quint32 a = first; a < end; ++a)
                for (quint32 b = a + 1; b < end; ++b)
                    compare(a, b);
            // Each pair of buckets one bit apart once, from the smaller.
            for (int bit = 0; bit < keyBits; ++bit) {
                const quint32 other = bucket ^ (1u << bit);
                if (other < bucket)
                    continue;
                for (quint32 a = first; a < end; ++a)
                    for (quint32 b = starts[other]; b < starts[other + 1]; ++b)
                        compare(a, b);
            }
        }
    }

    // Sizes per root, then each group in order of its root, the smallest member.
    std::vector<quint32> &size = indexOf;
    std::fill(size.begin(), size.end(), 0);
    for (size_t i = 0; i < count; ++i)
        ++size[sets.find(quint32(i))];
    std::vector<std::vector<quint32>> groups;
    for (size_t i = 0; i < count; ++i) {
        const quint32 root = sets.find(quint32(i));
        if (size[root] < 2)
            continue;
        if (root == i) {
            groups.emplace_back().reserve(size[root]);
            size[root] = quint32(groups.size() - 1) | 0x80000000u; // now the group's position
        }
        groups[size[root] & 0x7fffffffu].push_back(quint32(i));
    }
    return groups;
}
