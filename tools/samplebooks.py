#!/usr/bin/env python3
"""Writes the small books of the sample library: an EPUB 2, an EPUB 3 named only by a number,
a PDF, an FB2 and a CBZ, each with a cover of plain shapes and with its author, title and series.
Everything in them is made up here. Usage: tools/samplebooks.py [sample-library]"""
import base64, os, struct, sys, zipfile, zlib

def png(w, h, bands, disc):
    """A cover: horizontal bands of colour, and a disc (x, y, r, colour)."""
    rows = []
    cx, cy, r, dc = disc
    for y in range(h):
        colour = bands[min(len(bands) - 1, y * len(bands) // h)]
        row = bytearray(b'\0')
        for x in range(w):
            row += bytes(dc if (x - cx) ** 2 + (y - cy) ** 2 <= r * r else colour)
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))

def epub(path, opf, cover):
    with zipfile.ZipFile(path, 'w') as z:
        z.writestr(zipfile.ZipInfo('mimetype'), 'application/epub+zip')
        z.writestr('META-INF/container.xml', '<?xml version="1.0"?>\n<container version="1.0" '
                   'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile '
                   'full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>'
                   '</rootfiles></container>\n', zipfile.ZIP_DEFLATED)
        z.writestr('OEBPS/content.opf', opf, zipfile.ZIP_DEFLATED)
        z.writestr('OEBPS/cover.png', cover)
        z.writestr('OEBPS/text.xhtml', '<?xml version="1.0" encoding="utf-8"?>\n<html xmlns='
                   '"http://www.w3.org/1999/xhtml"><head><title>Text</title></head><body><p>A '
                   'sample book of Quillrack.</p></body></html>\n', zipfile.ZIP_DEFLATED)

MANIFEST = ('<manifest><item id="cover" href="cover.png" media-type="image/png"%s/>'
            '<item id="text" href="text.xhtml" media-type="application/xhtml+xml"/></manifest>'
            '<spine><itemref idref="text"/></spine></package>\n')

def epub2(path):
    opf = ('<?xml version="1.0" encoding="utf-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" '
           'version="2.0" unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/" '
           'xmlns:opf="http://www.idpf.org/2007/opf"><dc:identifier id="id">quillrack-sample-1'
           '</dc:identifier><dc:title>The Lighthouse Keeper</dc:title><dc:creator opf:role="aut" '
           'opf:file-as="Holt, Maren">Maren Holt</dc:creator><dc:language>en</dc:language>'
           '<dc:publisher>Quillrack Samples</dc:publisher><dc:date>2019-04-02</dc:date>'
           '<meta name="calibre:series" content="Harbour Tales"/><meta name="calibre:series_index" '
           'content="1"/><meta name="cover" content="cover"/></metadata>' + MANIFEST % '')
    epub(path, opf, png(200, 300, [(20, 40, 90), (30, 70, 130), (200, 190, 150)], (100, 110, 35, (250, 220, 90))))

def epub3(path):
    opf = ('<?xml version="1.0" encoding="utf-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" '
           'version="3.0" unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
           '<dc:identifier id="id">quillrack-sample-2</dc:identifier><dc:title>A Short History of '
           'Clouds</dc:title><dc:creator id="c1">Ilse Brandt</dc:creator><meta refines="#c1" '
           'property="role" scheme="marc:relators">aut</meta><meta refines="#c1" property="file-as">'
           'Brandt, Ilse</meta><dc:creator id="c2">Tomas Reyes</dc:creator><meta refines="#c2" '
           'property="role" scheme="marc:relators">ill</meta><dc:language>en</dc:language>'
           '<dc:date>2021</dc:date><meta property="belongs-to-collection" id="s">Skies</meta>'
           '<meta refines="#s" property="collection-type">series</meta><meta refines="#s" '
           'property="group-position">2</meta><meta property="dcterms:modified">2021-01-01T00:00:00Z'
           '</meta></metadata>' + MANIFEST % ' properties="cover-image"')
    epub(path, opf, png(200, 300, [(140, 190, 230), (180, 215, 240), (240, 245, 250)], (70, 90, 40, (255, 255, 255))))

def pdf(path):
    page = (b'0.15 0.35 0.25 rg 0 0 300 420 re f 0.9 0.85 0.6 rg 40 220 220 120 re f '
            b'BT /F1 22 Tf 0.1 0.1 0.1 rg 55 290 Td (Letters From) Tj 0 -30 Td (the Coast) Tj ET')
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>',
               b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
               b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 420] /Contents 4 0 R '
               b'/Resources << /Font << /F1 5 0 R >> >> >>',
               b'<< /Length %d >>\nstream\n' % len(page) + page + b'\nendstream',
               b'<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
               b'<< /Title (Letters From the Coast) /Author (Agnes Pell) /Producer (Quillrack samples) >>']
    out = bytearray(b'%PDF-1.4\n')
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b'%d 0 obj\n' % i + body + b'\nendobj\n'
    xref = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    out += b''.join(b'%010d 00000 n \n' % o for o in offsets)
    out += b'trailer\n<< /Size %d /Root 1 0 R /Info 6 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    open(path, 'wb').write(out)

def fb2(path):
    cover = base64.b64encode(png(200, 300, [(90, 30, 60), (150, 60, 80), (230, 200, 170)], (140, 200, 30, (250, 240, 230)))).decode()
    text = ('<?xml version="1.0" encoding="utf-8"?>\n<FictionBook xmlns="http://www.gribuser.ru/xml/'
            'fictionbook/2.0" xmlns:l="http://www.w3.org/1999/xlink"><description><title-info>'
            '<genre>poetry</genre><author><first-name>Vera</first-name><middle-name>A.</middle-name>'
            '<last-name>Linden</last-name></author><book-title>Evening Songs</book-title><coverpage>'
            '<image l:href="#cover.png"/></coverpage><lang>en</lang><sequence name="Seasons" '
            'number="3"/></title-info></description><body><section><p>A sample book of Quillrack.'
            '</p></section></body><binary id="cover.png" content-type="image/png">' + cover +
            '</binary></FictionBook>\n')
    open(path, 'w', encoding='utf-8').write(text)

def cbz(path):
    info = ('<?xml version="1.0" encoding="utf-8"?>\n<ComicInfo><Title>The Tide Clock</Title>'
            '<Series>Moon Harbour</Series><Number>1</Number><Writer>Jun Okafor, Lise Marr</Writer>'
            '<Year>2022</Year></ComicInfo>\n')
    with zipfile.ZipFile(path, 'w') as z:
        z.writestr('ComicInfo.xml', info, zipfile.ZIP_DEFLATED)
        z.writestr('001.png', png(200, 300, [(10, 20, 50), (20, 40, 80), (40, 60, 100)], (130, 80, 30, (240, 240, 210))))
        z.writestr('002.png', png(200, 300, [(230, 230, 230)], (100, 150, 50, (60, 60, 60))))

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'sample-library')
epub2(os.path.join(root, 'Adventure', 'The Lighthouse Keeper.epub'))
epub3(os.path.join(root, 'Science 10', '9780000000017.epub'))
pdf(os.path.join(root, 'Classics', 'Coast Letters.pdf'))
fb2(os.path.join(root, 'Poetry', 'Evening Songs.fb2'))
cbz(os.path.join(root, 'To Read', 'Moon Harbour 1.cbz'))
