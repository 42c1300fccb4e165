#!/usr/bin/python3
"""Writes a labelled corpus for the similar-photo benchmark into DIR.

Each source picture gets variants that must group with it (resized, re-encoded, converted,
cropped, edited, captioned, stored rotated); hard negatives (a stereo pair, overlapping crops of
one panorama, burst-like shots, sunsets, skies, walls) are sources of their own. DIR/truth.tsv
lists every file with the label of the picture it shows. Deterministic: fixed seeds."""
import io
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageDraw, ImageEnhance, ImageFilter

DATA = '/usr/lib/python3/dist-packages/skimage/data/'


def load(name):
    return Image.open(DATA + name).convert('RGB')


def photo_like(seed, size=(800, 600), shapes=12, shift=0):
    """Gradients, shapes and sensor-like noise; `shift` moves the shapes (a burst-like shot)."""
    rng = np.random.default_rng(seed)
    w, h = size
    c0, c1 = rng.integers(0, 256, 3), rng.integers(0, 256, 3)
    angle = rng.uniform(0, np.pi)
    y, x = np.mgrid[0:h, 0:w]
    t = ((x * np.cos(angle) + y * np.sin(angle)) / (w + h) + 0.5).clip(0, 1)[..., None]
    im = Image.fromarray((c0 * (1 - t) + c1 * t).astype(np.uint8))
    draw = ImageDraw.Draw(im)
    shape_rng = np.random.default_rng(seed + 1000)
    for i in range(shapes):
        cx, cy = shape_rng.uniform(0, w), shape_rng.uniform(0, h)
        rx, ry = shape_rng.uniform(w / 30, w / 6), shape_rng.uniform(h / 30, h / 6)
        colour = tuple(int(v) for v in shape_rng.integers(0, 256, 3))
        dx = shift * (i % 3 - 1)
        box = [cx - rx + dx, cy - ry, cx + rx + dx, cy + ry]
        if i % 2:
            draw.ellipse(box, fill=colour)
        else:
            draw.rectangle(box, fill=colour)
    im = im.filter(ImageFilter.GaussianBlur(1.5))
    noise = rng.normal(0, 5, (h, w, 3))
    return Image.fromarray((np.asarray(im, float) + noise).clip(0, 255).astype(np.uint8))


def sunset(seed, size=(800, 533)):
    """An orange-to-violet sky with a sun and a dark horizon: many such photos look alike."""
    rng = np.random.default_rng(seed)
    w, h = size
    y, x = np.mgrid[0:h, 0:w]
    horizon = h * rng.uniform(0.6, 0.8)
    t = (y / horizon).clip(0, 1)[..., None]
    top, bottom = np.array([70, 40, 120]), np.array([250, 150, 60])
    sky = top * (1 - t) + bottom * t
    sx, sy, r = rng.uniform(0.2, 0.8) * w, horizon - rng.uniform(10, 80), rng.uniform(20, 45)
    sun = np.exp(-(((x - sx) ** 2 + (y - sy) ** 2) / (2 * r * r)))[..., None]
    sky = sky * (1 - sun) + np.array([255, 230, 150]) * sun
    ground = y > horizon + 8 * np.sin(x / rng.uniform(40, 90))
    sky[ground] = [30, 20, 25]
    sky += rng.normal(0, 3, sky.shape)
    return Image.fromarray(sky.clip(0, 255).astype(np.uint8))


def plain(seed, colour, size=(640, 480), grain=6):
    rng = np.random.default_rng(seed)
    w, h = size
    base = np.array(colour, float) + rng.normal(0, grain, (h, w, 3))
    shade = np.linspace(-8, 8, w)[None, :, None] * rng.uniform(-1, 1)
    return Image.fromarray((base + shade).clip(0, 255).astype(np.uint8))


def crop(im, left=0.0, top=0.0, right=0.0, bottom=0.0):
    w, h = im.size
    return im.crop((round(w * left), round(h * top), round(w * (1 - right)), round(h * (1 - bottom))))


def scaled(im, factor):
    w, h = im.size
    return im.resize((max(1, round(w * factor)), max(1, round(h * factor))), Image.LANCZOS)


def caption(im, text, band):
    """A caption bar (band) or a small semi-transparent watermark in a corner."""
    im = im.convert('RGBA')
    w, h = im.size
    layer = Image.new('RGBA', im.size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(layer)
    if band:
        draw.rectangle([0, h * 0.93, w, h], fill=(0, 0, 0, 255))
        draw.text((w * 0.03, h * 0.94), text, fill=(255, 255, 255, 255))
    else:
        draw.text((w * 0.72, h * 0.9), text, fill=(255, 255, 255, 150))
        draw.rectangle([w * 0.7, h * 0.88, w * 0.95, h * 0.96], outline=(255, 255, 255, 150))
    return Image.alpha_composite(im, layer).convert('RGB')


def save_jpeg(im, path, quality=90, exif=None):
    kwargs = {'quality': quality}
    if exif is not None:
        kwargs['exif'] = exif
    im.save(path, 'JPEG', **kwargs)


def save_with_tool(im, path, command):
    with tempfile.NamedTemporaryFile(suffix='.png') as png:
        im.save(png.name)
        subprocess.run(command + [png.name, '-o', path], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def rotated_upright(im, path):
    """Pixels stored turned 90 degrees, with the EXIF orientation that turns them upright."""
    exif = Image.Exif()
    exif[0x0112] = 6  # display: rotate the stored pixels 90 degrees clockwise
    save_jpeg(im.transpose(Image.ROTATE_90), path, 90, exif.tobytes())


# Each variant: (name, extension, writer(image, path)).
VARIANTS = [
    ('orig', 'png', lambda im, p: im.save(p)),
    ('half', 'jpg', lambda im, p: save_jpeg(scaled(im, 0.5), p, 85)),
    ('quarter', 'jpg', lambda im, p: save_jpeg(scaled(im, 0.25), p, 85)),
    ('q60', 'jpg', lambda im, p: save_jpeg(im, p, 60)),
    ('chat', 'jpg', lambda im, p: save_jpeg(scaled(im, 0.6).filter(ImageFilter.SHARPEN), p, 70)),
    ('webp', 'webp', lambda im, p: save_with_tool(im, p, ['cwebp', '-quiet', '-q', '75'])),
    ('heic', 'heic', lambda im, p: save_with_tool(im, p, ['heif-enc', '-q', '60'])),
    ('crop8left', 'jpg', lambda im, p: save_jpeg(crop(im, left=0.08), p)),
    ('crop8all', 'jpg', lambda im, p: save_jpeg(crop(im, 0.08, 0.08, 0.08, 0.08), p)),
    ('crop5tr', 'png', lambda im, p: crop(im, top=0.05, right=0.05).save(p)),
    ('bright', 'jpg', lambda im, p: save_jpeg(ImageEnhance.Brightness(im).enhance(1.1), p)),
    ('dark', 'jpg', lambda im, p: save_jpeg(ImageEnhance.Brightness(im).enhance(0.9), p)),
    ('contrast', 'jpg', lambda im, p: save_jpeg(ImageEnhance.Contrast(im).enhance(1.1), p)),
    ('saturate', 'jpg', lambda im, p: save_jpeg(ImageEnhance.Color(im).enhance(1.1), p)),
    ('watermark', 'jpg', lambda im, p: save_jpeg(caption(im, '(c) Lumisort 2026', False), p)),
    ('caption', 'jpg', lambda im, p: save_jpeg(caption(im, 'Summer holiday, day 3', True), p)),
    ('rot90', 'jpg', rotated_upright),
]


def sources():
    """(label, image, with variants): the pictures of the corpus."""
    out = [(name, load(name + ext), True) for name, ext in [
        ('astronaut', '.png'), ('chelsea', '.png'), ('coffee', '.png'), ('rocket', '.jpg'),
        ('camera', '.png'), ('coins', '.png'), ('moon', '.png'), ('ihc', '.png'), ('cell', '.png'),
        ('clock_motion', '.png'), ('hubble_deep_field', '.jpg'), ('retina', '.jpg'),
        ('motorcycle_left', '.png'), ('motorcycle_right', '.png')]]
    # Overlapping crops of one wide picture: different photos of one panorama.
    pano = load('motorcycle_left.png').resize((1482, 1000), Image.LANCZOS)
    out += [('pano_a', crop(pano, right=0.40), True), ('pano_b', crop(pano, left=0.40), True)]
    retina = load('retina.jpg')
    out += [('retina_nw', crop(retina, 0.0, 0.0, 0.45, 0.45), True),
            ('retina_se', crop(retina, 0.45, 0.45, 0.0, 0.0), True)]
    out += [(f'scene{i:02}', photo_like(100 + i), True) for i in range(12)]
    # Burst-like: one scene with its shapes moved a little, in five scenes.
    for k in range(5):
        name = 'burst' if k == 0 else f'burst{k}'
        out += [(f'{name}_a', photo_like(300 + k, shift=0), True), (f'{name}_b', photo_like(300 + k, shift=25), True),
                (f'{name}_c', photo_like(300 + k, shift=50), False)]
    out += [(f'sunset{i}', sunset(400 + i), True) for i in range(4)]
    out += [(f'sky{i}', sunset(500 + i).filter(ImageFilter.GaussianBlur(30)), False) for i in range(3)]
    out += [('wall_beige_a', plain(600, (214, 200, 170)), False),
            ('wall_beige_b', plain(601, (214, 200, 170)), False),
            ('wall_grey', plain(602, (150, 150, 150)), False)]
    # Textures of one kind: different photos that look alike.
    out += [(name, load(name + '.png'), False) for name in ('grass', 'gravel', 'brick')]
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make-similar-corpus.py DIR')
    root = sys.argv[1]
    os.makedirs(root, exist_ok=True)
    truth = []
    for label, image, with_variants in sources():
        for name, ext, write in (VARIANTS if with_variants else VARIANTS[:1]):
            path = os.path.join(root, f'{label}_{name}.{ext}')
            write(image, path)
            truth.append(f'{os.path.abspath(path)}\t{label}\n')
    with open(os.path.join(root, 'truth.tsv'), 'w') as f:
        f.writelines(truth)
    print(f'{len(truth)} files in {root}')


if __name__ == '__main__':
    main()
