// The palette-source dispatcher: the palette is converted once into pels of
// the destination's format (cached by the palette), so the loops only look
// up a table pel per index and then draw it like a pel of that format.
#include "engine/blit/blit_rows.h"

void bltDrawExPal(imgCTy* src, imgCTy* dst, const rectTy* r, const imgDrawPrmCTy& prm) {
    const uint32_t df = dst->pelFmt.format;
    palCTy* pal = src->pelFmt.palette;
    (void)src->GetPalTbl(df);  // reports formats without a conversion
    if (!pal || !pal->table || pal->tableFmt != df) return;
    uint32_t op = 0, flags = 0;
    if (!bltSelect(src, prm, &op, &flags)) return;
    const bltRowTy* row = bltFindPalRow(op, df, flags);
    if (!row) return;
    // The key in the group's precision: every index whose colour converts to
    // it is transparent, whatever the index.
    const uint32_t c = src->keyColor, b = c & 255, g = (c >> 8) & 255, rr = (c >> 16) & 255;
    uint32_t key = c;
    switch (row->dst) {
    case pel_FMT_R8G8B8: key = c & 0xFFFFFF; break;
    case pel_FMT_R5G6B5: key = (rr >> 3) << 11 | (g >> 2) << 5 | b >> 3; break;
    case pel_FMT_X1R5G5B5: key = (rr >> 3) << 10 | (g >> 3) << 5 | b >> 3; break;
    default: break;
    }
    bltArgsTy a;
    a.src = src;
    a.dst = dst;
    a.rect = r;
    a.key = key;
    a.value = uint32_t(prm.alpha);
    a.alphaMap = prm.alphaMap;
    a.srcDepth = prm.srcDepth;
    a.dstDepth = prm.dstDepth;
    a.scaleX = prm.scaleX;
    a.scaleY = prm.scaleY;
    a.table = pal->table;
    a.tableCount = pal->count;
    bltRunRow(row, a);
}
