#include "similar/SimilarGrouping.h"

#include <algorithm>

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
    std::vector<quint32> sorted(count); // by the current key: a counting sort
    std::vector<quint32> starts((size_t(1) << keyBits) + 1);
    for (int key = 0; key < keys; ++key) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const PhotoSignature &s : signatures)
            ++starts[keyOf(s, key) + 1];
        for (size_t k = 1; k < starts.size(); ++k)
            starts[k] += starts[k - 1];
        for (size_t i = 0; i < count; ++i) // ascending indices within each bucket
            sorted[starts[keyOf(signatures[i], key)]++] = quint32(i);
        for (size_t k = starts.size() - 1; k > 0; --k) // back to each bucket's start
            starts[k] = starts[k - 1];
        starts[0] = 0;

        for (size_t i = 0; i < count; ++i) {
            if ((i & 4095) == 0 && stop)
                return {};
            const PhotoSignature &s = signatures[i];
            if (s.featureless())
                continue;
            const quint32 own = keyOf(s, key);
            for (int flip = -1; flip < keyBits; ++flip) {
                const quint32 probe = flip < 0 ? own : own ^ (1u << flip);
                // Each pair once per key: from its smaller index, whose bucket holds the larger.
                const quint32 *end = sorted.data() + starts[probe + 1];
                const quint32 *j = std::upper_bound(static_cast<const quint32 *>(sorted.data() + starts[probe]), end, quint32(i));
                for (; j != end; ++j)
                    if (showSamePicture(s, signatures[*j]))
                        sets.unite(quint32(i), *j);
            }
        }
    }

    // Sizes per root, then each group in order of its root, the smallest member.
    std::vector<quint32> &size = sorted;
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
