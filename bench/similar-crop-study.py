#!/usr/bin/python3
"""Measures crop-tolerant signatures on a corpus from make-similar-corpus.sh: what each
would add to the grouping, and why none was kept.  usage: similar-crop-study.py DIR

Prints, per candidate: the bits its crops (8% off the left, 8% off every side, 5% off top and
right) differ from their original against the nearest unrelated originals, or the pairwise
precision and recall the grouping would reach with it beside the signature's own rule; for
stored micro-images aligned by search, the crops' correlation against the nearest unrelated pair;
for keypoints fitted to a crop's scale and shift, the scores beside the rule.
Needs Debian's python3 with numpy, scipy, PIL and OpenCV, and heif-convert for the HEIC files."""
import itertools
import os
import subprocess
import sys
import tempfile

import cv2
import numpy as np
from PIL import Image, ImageOps
from scipy import ndimage

CROPS = {'crop8left': (0.08, 0, 0, 0), 'crop8all': (0.08,) * 4, 'crop5tr': (0, 0.05, 0.05, 0)}
N = 32
DCT = np.sqrt(np.where(np.arange(16)[:, None] == 0, 1, 2) / N) * np.cos(
    np.pi * (2 * np.arange(N) + 1) * np.arange(16)[:, None] / (2 * N))
ZIGZAG = sorted(((u, v) for u in range(16) for v in range(16)), key=lambda p: (p[0] + p[1], p[0]))[1:129]
HANN = np.sin(np.pi * (np.arange(N) + 0.5) / N) ** 2
SIGMAS = np.exp(np.linspace(np.log(3), np.log(20), 25))


def load(root, side=128):
    """Luma of each file as the stage decodes it (upright, shorter side 128), and its label."""
    grey, labels = {}, {}
    with tempfile.TemporaryDirectory() as temp:
        for line in open(os.path.join(root, 'truth.tsv')):
            path, label = line.rstrip('\n').split('\t')
            name = os.path.basename(path)
            if path.endswith('.heic'):
                subprocess.run(['heif-convert', '-q', '98', path, temp + '/x.jpg'], check=True, capture_output=True)
                path = temp + '/x.jpg'
            im = ImageOps.exif_transpose(Image.open(path)).convert('RGB')
            f = side / min(im.size)
            im = im.resize((round(im.width * f), round(im.height * f)), Image.BOX) if f < 1 else im
            grey[name], labels[name] = np.asarray(im, float) @ [0.299, 0.587, 0.114], label
    return grey, labels


def kind(name):
    return name.rsplit('_', 1)[1].split('.')[0]


def original(name):
    return name.rsplit('_', 1)[0] + '_orig.png'


def sample(g, x0, x1, y0, y1):
    """N x N cell means over a box in pixels (supersampled, bilinear)."""
    xs = x0 + (x1 - x0) * (np.arange(4 * N) + 0.5) / (4 * N) - 0.5
    ys = y0 + (y1 - y0) * (np.arange(4 * N) + 0.5) / (4 * N) - 0.5
    v = ndimage.map_coordinates(g, np.meshgrid(ys, xs, indexing='ij'), order=1, mode='nearest')
    return v.reshape(N, 4, N, 4).mean((1, 3))


def bands(cells, taper=HANN, frequencies=None):
    """The signature's bands: coefficient above its band's median, zigzag order."""
    c = DCT @ ((cells - cells.mean()) * taper[:, None] * taper[None]) @ DCT.T
    values = np.array([c[u, v] for u, v in (frequencies or ZIGZAG)])
    halves = [values] if frequencies else [values[:64], values[64:]]
    return [h > np.median(h) for h in halves]


def full_frame(g):
    return bands(sample(g, 0, g.shape[1], 0, g.shape[0]))


def blobs(g, top):
    """The strongest scale-normalised Laplacian extrema inside the central 60%: x, y, scale."""
    h, w = g.shape
    response = np.abs(np.stack([s * s * ndimage.gaussian_laplace(g, s) for s in SIGMAS]))
    peaks = response == ndimage.maximum_filter(response, size=(3, 5, 5))
    peaks[[0, -1]] = False
    y, x = np.mgrid[0:h, 0:w]
    peaks &= ((x > 0.2 * w) & (x < 0.8 * w) & (y > 0.2 * h) & (y < 0.8 * h))[None]
    at = np.argwhere(peaks)[np.argsort(-response[peaks])[:top]]
    return [((x + 0.5) / w, (y + 0.5) / h, SIGMAS[s] / h) for s, y, x in at]


def scores(names, labels, link):
    n = len(names)
    parent = list(range(n))

    def find(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i
    for i in range(n):
        for j in range(i + 1, n):
            if link(names[i], names[j]):
                parent[find(i)] = find(j)
    root = [find(i) for i in range(n)]
    same = [(root[i] == root[j], labels[names[i]] == labels[names[j]]) for i in range(n) for j in range(i + 1, n)]
    tp = sum(g and s for g, s in same)
    return f'precision={tp / max(1, sum(g for g, _ in same)):.3f} recall={tp / sum(s for _, s in same):.3f}'


def crop_spread(names, distance):
    """Per crop kind the median and widest distance to the original; the nearest unrelated originals."""
    out = []
    for k in CROPS:
        d = sorted(distance(n, original(n)) for n in names if kind(n) == k)
        out.append(f'{k} {d[len(d) // 2]}/{d[-1]}')
    origs = [n for n in names if kind(n) == 'orig']
    near = sorted(distance(a, b) for i, a in enumerate(origs) for b in origs[i + 1:])
    return ' '.join(out) + f'; unrelated originals nearest {near[:3]}'


def registered(grey, names, cells_side):
    """Micro-images of cells_side^2 cells, high-passed: each original's windows (80-100% a side,
    2% steps) correlated with the other files; the best window per pair, as a stored picture and
    an alignment search on candidates would compare them."""
    k = cells_side
    u = (np.arange(k) + 0.5) / k

    def cells(g, x0=0, y0=0, sx=1, sy=1):
        return g.reshape(k, g.shape[0] // k, k, g.shape[1] // k).mean((1, 3)) if sx == 1 == sy else \
            ndimage.map_coordinates(g, np.meshgrid((y0 + sy * u) * k - 0.5, (x0 + sx * u) * k - 0.5, indexing='ij'),
                                    order=1, mode='nearest')

    def unit(v):
        v = (v - ndimage.gaussian_filter(v, k / 10, mode='nearest')).ravel()
        v = v - v.mean()
        return v / (np.linalg.norm(v) + 1e-9)
    micro = {n: sample(grey[n], 0, grey[n].shape[1], 0, grey[n].shape[0]) for n in names}
    micro = {n: m.reshape(k, N // k, k, N // k).mean((1, 3)) for n, m in micro.items()}
    steps = np.arange(0.80, 1.001, 0.02)
    windows = [(x0, y0, sx, sy) for sx in steps for sy in steps
               for x0 in np.arange(0, 1 - sx + 1e-9, 0.02) for y0 in np.arange(0, 1 - sy + 1e-9, 0.02)]
    others = [n for n in names if kind(n) in ('orig',) + tuple(CROPS)]
    flat = np.array([unit(micro[n]) for n in others])
    best = {}
    for a in (n for n in names if kind(n) == 'orig'):
        corr = np.array([unit(cells(micro[a], *w)) for w in windows]) @ flat.T
        best.update({(a, b): c for b, c in zip(others, corr.max(0)) if b != a})
    out = []
    for k_ in CROPS:
        c = sorted(best[original(n), n] for n in names if kind(n) == k_)
        out.append(f'{k_} {c[len(c) // 2]:.3f}/{c[0]:.3f}')
    worst = max(c for (a, b), c in best.items() if kind(b) == 'orig' and a.rsplit('_', 1)[0] != b.rsplit('_', 1)[0])
    return ' '.join(out) + f'; nearest unrelated originals {worst:.3f}'


def keypoints(grey, names, top=16, near=0.012, code_bits=0, most=0):
    """SIFT's strongest `top` keypoints in the inner 80% of each decode, matched mutually
    nearest; per ordered pair the most keypoints one frame-to-frame scale and shift puts
    within `near` (each side of one frame within 12% of the other's), those that it does not,
    and the share of the first picture's keypoints found again where it puts them. With
    `code_bits`, what a cache could hold instead: positions in 1/255 steps and each descriptor
    as the signs of its first principal components, matched within `most` bits."""
    sift = cv2.SIFT_create()
    feat = {}
    for n in names:
        g = grey[n].clip(0, 255).astype(np.uint8)
        h, w = g.shape
        kps, des = sift.detectAndCompute(g, None)
        keep = [i for i in np.argsort([-k.response for k in kps]) if 0.1 < kps[i].pt[0] / w < 0.9
                and 0.1 < kps[i].pt[1] / h < 0.9][:top] if des is not None else []
        feat[n] = (np.array([(kps[i].pt[0] / w, kps[i].pt[1] / h) for i in keep]).reshape(-1, 2),
                   des[keep] if keep else np.zeros((0, 128), np.float32))
    if code_bits:
        every = np.concatenate([d for _, d in feat.values()])
        mean = every.mean(0)
        axes = np.linalg.svd(every - mean, full_matrices=False)[2][:code_bits]
        feat = {n: (np.round(p * 255) / 255, (d - mean) @ axes.T > 0) for n, (p, d) in feat.items()}

    def fit(a, b):
        (pa, da), (pb, db) = feat[a], feat[b]
        if len(pa) < 2 or len(pb) < 2:
            return None
        d = (da[:, None] != db[None]).sum(2) if code_bits else np.linalg.norm(da[:, None] - db[None], axis=2)
        m = [(i, d[i].argmin()) for i in range(len(pa))
             if d[:, d[i].argmin()].argmin() == i and (not code_bits or d[i].min() <= most)]
        A, B = pa[[i for i, _ in m]], pb[[j for _, j in m]]
        best = None
        for i, j in itertools.combinations(range(len(m)), 2):
            if min(abs(B[i] - B[j])) < 0.05:
                continue
            scale = (A[i] - A[j]) / (B[i] - B[j])
            shift = A[i] - scale * B[i]
            if max(abs(shift).max(), abs(shift + scale - 1).max()) > 0.12:
                continue
            fits = int((np.hypot(*(A - shift - scale * B).T) < near).sum())
            if best is None or fits > best[0]:
                best = (fits, len(m) - fits, scale, shift)
        if best is None:
            return None
        fits, misfits, scale, shift = best
        at = (pa - shift) / scale
        inside = ((at > 0.1) & (at < 0.9)).all(1)
        again = np.hypot(at[:, None, 0] - pb[None, :, 0], at[:, None, 1] - pb[None, :, 1]).min(1) < near
        return fits, misfits, (again & inside).sum() / max(1, inside.sum())
    return fit


def main():
    grey, labels = load(sys.argv[1])
    names = sorted(grey)
    full = {n: full_frame(grey[n]) for n in names}
    bits = lambda a, b, k: int((a[k] != b[k]).sum())
    rule = lambda a, b: bits(full[a], full[b], 0) <= 4 and bits(full[a], full[b], 1) <= 4
    print('full frame (the signature):', scores(names, labels, rule))

    # OpenCV's hashes, on the same decodes.
    for name, make in [('radial variance', cv2.img_hash.RadialVarianceHash_create),
                       ('marr-hildreth', cv2.img_hash.MarrHildrethHash_create), ('phash', cv2.img_hash.PHash_create)]:
        hasher = make()
        h = {n: hasher.compute(grey[n].clip(0, 255).astype(np.uint8)) for n in names}
        # The radial variance hash compares by correlation: one minus it is the distance.
        sign = -1 if name == 'radial variance' else 1
        print(f'{name}:', crop_spread(names, lambda a, b: round((sign < 0) + sign * hasher.compare(h[a], h[b]), 2)))

    # The lowest frequencies of a square centre window under a narrow Gaussian taper.
    low = sorted(((u, v) for u in range(8) for v in range(8)), key=lambda p: (p[0] + p[1], p[0]))[1:]
    gauss = np.exp(-0.5 * (((np.arange(N) + 0.5) / N - 0.5) / 0.2) ** 2)
    narrow = {}
    for n in names:
        h, w = grey[n].shape
        side = min(h, w)
        narrow[n] = bands(sample(grey[n], (w - side) / 2, (w + side) / 2, (h - side) / 2, (h + side) / 2), gauss, low)
    print('narrow centre window, 63 lowest frequencies:', crop_spread(names, lambda a, b: bits(narrow[a], narrow[b], 0)))

    # A frame registered on a blob: the same blob found again, and a window signed around it.
    both = {}
    for n in names:
        g = grey[n]
        h, w = g.shape
        both[n] = [(x, y, s, full_frame(sample(g, x * w - 12 * s * h, x * w + 12 * s * h,
                                                 y * h - 12 * s * h, y * h + 12 * s * h))) for x, y, s in blobs(g, 2)]
    found = []
    for k, (left, t, right, bottom) in CROPS.items():
        again = [abs(left + (1 - left - right) * both[n][0][0] - both[original(n)][0][0]) < 0.01 and
                 abs(t + (1 - t - bottom) * both[n][0][1] - both[original(n)][0][1]) < 0.01
                 for n in names if kind(n) == k]
        found.append(f'{k} {sum(again)}/{len(again)}')
    print('the strongest blob found again in', ', '.join(found))
    for top in (1, 2):
        anchored = {n: a[:top] for n, a in both.items()}

        def link(a, b, coarse, fine):
            return rule(a, b) or any(
                abs(xa - xb) <= 0.1 and abs(ya - yb) <= 0.1 and abs(np.log(sa / sb)) <= np.log(1.25) and
                bits(fa, fb, 0) <= coarse and bits(fa, fb, 1) <= fine
                for xa, ya, sa, fa in anchored[a] for xb, yb, sb, fb in anchored[b])
        print(f'windows around {top} blob(s) beside the rule, within',
              ', '.join(f'{c}/{f}: ' + scores(names, labels, lambda a, b: link(a, b, c, f)) for c, f in ((4, 6), (6, 8))))

    # Keypoints matched and fitted to a crop's scale and shift (128 float dimensions each:
    # what any compact form of them could at best reach), beside the rule.
    fit = keypoints(grey, names)
    pairs = {(a, b): (fit(a, b), fit(b, a)) for i, a in enumerate(names) for b in names[i + 1:]}
    for fits, misfits, again in ((4, 0, 0), (4, 1, 0.75), (4, 1, 0.7), (5, 1, 0)):
        ok = lambda a, b: rule(a, b) or any(f and f[0] >= fits and f[1] <= misfits and f[2] >= again
                                            for f in pairs[min(a, b), max(a, b)])
        print(f'16 keypoints, {fits}+ fitted, {misfits}- misfit, {again:.0%} found again:', scores(names, labels, ok))

    # From 256-pixel decodes, 32 keypoints as a cache could hold them: 10 bytes each.
    fit = keypoints(load(sys.argv[1], 256)[0], names, 32, 0.008, 64, 16)
    pairs = {(a, b): (fit(a, b), fit(b, a)) for i, a in enumerate(names) for b in names[i + 1:]}
    for fits, misfits, again in ((4, 2, 0.6), (4, 3, 0.5), (12, 2, 0.5)):
        ok = lambda a, b: rule(a, b) or any(f and f[0] >= fits and f[1] <= misfits and f[2] >= again
                                            for f in pairs[min(a, b), max(a, b)])
        print(f'32 keypoints in 64 bits, {fits}+ fitted, {misfits}- misfit, {again:.0%} found again:',
              scores(names, labels, ok))

    # Registration: what a stored micro-image and an alignment search would reach (median/lowest).
    for side in (16, 32):
        print(f'registered {side} x {side} micro-images, best correlation:', registered(grey, names, side))


if __name__ == '__main__':
    main()
