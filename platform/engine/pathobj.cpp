// Path objects: the subpaths of a path, their enumeration in batches of
// points (PATHOBJ_bEnum), their bounds, and the enumeration of their
// cosmetic lines clipped against a region into runs of pixels
// (PATHOBJ_bEnumClipLines) by the cosmetic-line rule.
#include <algorithm>
#include <map>
#include <memory>

#include "cosmetic_line.h"
#include "drawing.h"
#include "objects.h"
#include "paths.h"
#include "platform/engine.h"

namespace vnx::engine {

namespace {

// A clipped line as PATHOBJ_bEnumClipLines hands it out.
struct ClipLineRecord {
    POINTFIX a, b;
    LONG lStyleState;
    std::vector<RUN> runs;
};

struct Path {
    PATHOBJ po{};  // what the driver is handed; first, so it maps back
    std::vector<SubPath> subpaths;
    ULONG cMaxBatch = 0;
    std::vector<POINTFIX> batch;  // the points of the batch handed out last
    size_t iSub = 0, iPoint = 0;  // next batch of PATHOBJ_bEnum
    std::vector<ClipLineRecord> cliplines;
    size_t iLine = 0, iRun = 0;   // next runs of PATHOBJ_bEnumClipLines
};

std::map<const PATHOBJ*, std::unique_ptr<Path>>& paths() {
    static auto* m = new std::map<const PATHOBJ*, std::unique_ptr<Path>>;
    return *m;
}

Path* find_path_locked(const PATHOBJ* ppo) {
    auto it = paths().find(ppo);
    return it == paths().end() ? nullptr : it->second.get();
}

// The runs of the pixels of a line inside the rectangles (disjoint).
std::vector<RUN> runs_inside(const CosmeticLine& line, const std::vector<RECTL>& rects) {
    std::vector<RUN> runs;
    for (const RECTL& r : rects) {
        std::int64_t k0, k1;
        const bool bY = line.y_major();
        line.index_range(bY ? r.top : r.left, bY ? r.bottom : r.right, &k0, &k1);
        bool bOpen = false;
        for (std::int64_t k = k0; k < k1; ++k) {
            std::int64_t x, y;
            line.pixel(k, &x, &y);
            const bool bIn = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            if (bIn && bOpen) runs.back().iStop = static_cast<LONG>(k);
            if (bIn && !bOpen) runs.push_back(RUN{static_cast<LONG>(k), static_cast<LONG>(k)});
            bOpen = bIn;
        }
    }
    std::sort(runs.begin(), runs.end(), [](const RUN& p, const RUN& q) { return p.iStart < q.iStart; });
    std::vector<RUN> merged;
    for (const RUN& run : runs) {
        if (!merged.empty() && merged.back().iStop + 1 >= run.iStart)
            merged.back().iStop = std::max(merged.back().iStop, run.iStop);
        else
            merged.push_back(run);
    }
    return merged;
}

}  // namespace

PATHOBJ* create_path(const std::vector<SubPath>& subpaths, ULONG cMaxBatch) {
    auto path = std::make_unique<Path>();
    path->subpaths = subpaths;
    path->cMaxBatch = cMaxBatch;
    for (const SubPath& s : subpaths) {
        const size_t n = s.points.size();
        path->po.cCurves += static_cast<ULONG>(n > 1 ? n - 1 : 0) + (s.bCloseFigure && n > 1 ? 1 : 0);
    }
    PATHOBJ* ppo = &path->po;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    paths()[ppo] = std::move(path);
    return ppo;
}

void delete_path(PATHOBJ* ppo) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    paths().erase(ppo);
}

size_t live_paths() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return paths().size();
}

bool path_lines(const PATHOBJ* ppo, std::vector<PathLine>& lines) {
    std::vector<SubPath> subpaths;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        const Path* p = find_path_locked(ppo);
        if (p == nullptr) return false;
        subpaths = p->subpaths;
    }
    lines.clear();
    for (const SubPath& s : subpaths) {
        bool bReset = s.bResetStyle;
        for (size_t i = 1; i < s.points.size(); ++i) {
            lines.push_back(PathLine{s.points[i - 1], s.points[i], bReset});
            bReset = false;
        }
        if (s.bCloseFigure && s.points.size() > 1)
            lines.push_back(PathLine{s.points.back(), s.points.front(), bReset});
    }
    return true;
}

bool path_polygons(const PATHOBJ* ppo, std::vector<std::vector<POINTFIX>>& polygons) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    const Path* p = find_path_locked(ppo);
    if (p == nullptr) return false;
    polygons.clear();
    for (const SubPath& s : p->subpaths) polygons.push_back(s.points);
    return true;
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" void PATHOBJ_vEnumStart(PATHOBJ* ppo) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Path* p = find_path_locked(ppo);
    if (p == nullptr) return;
    p->iSub = 0;
    p->iPoint = 0;
}

extern "C" BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
    if (ppd == nullptr) return FALSE;
    *ppd = PATHDATA{0, 0, nullptr};
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Path* p = find_path_locked(ppo);
    if (p == nullptr) return FALSE;
    while (p->iSub < p->subpaths.size() && p->subpaths[p->iSub].points.empty()) ++p->iSub;
    if (p->iSub >= p->subpaths.size()) return FALSE;
    const SubPath& s = p->subpaths[p->iSub];
    const size_t left = s.points.size() - p->iPoint;
    const size_t n = p->cMaxBatch != 0 ? std::min<size_t>(left, p->cMaxBatch) : left;
    p->batch.assign(s.points.begin() + static_cast<std::ptrdiff_t>(p->iPoint),
                    s.points.begin() + static_cast<std::ptrdiff_t>(p->iPoint + n));
    if (p->iPoint == 0) ppd->flags |= PD_BEGINSUBPATH | (s.bResetStyle ? PD_RESETSTYLE : 0u);
    p->iPoint += n;
    if (p->iPoint == s.points.size()) {
        ppd->flags |= PD_ENDSUBPATH | (s.bCloseFigure ? PD_CLOSEFIGURE : 0u);
        ++p->iSub;
        p->iPoint = 0;
    }
    ppd->count = static_cast<ULONG>(n);
    ppd->pptfx = p->batch.data();
    while (p->iSub < p->subpaths.size() && p->subpaths[p->iSub].points.empty()) ++p->iSub;
    return p->iSub < p->subpaths.size() ? TRUE : FALSE;
}

extern "C" void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx) {
    if (prectfx == nullptr) return;
    *prectfx = RECTFX{0, 0, 0, 0};
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    const Path* p = find_path_locked(ppo);
    if (p == nullptr) return;
    bool bFirst = true;
    for (const SubPath& s : p->subpaths) {
        for (const POINTFIX& pt : s.points) {
            if (bFirst) *prectfx = RECTFX{pt.x, pt.y, pt.x, pt.y};
            bFirst = false;
            prectfx->xLeft = std::min(prectfx->xLeft, pt.x);
            prectfx->yTop = std::min(prectfx->yTop, pt.y);
            prectfx->xRight = std::max(prectfx->xRight, pt.x);
            prectfx->yBottom = std::max(prectfx->yBottom, pt.y);
        }
    }
}

extern "C" void PATHOBJ_vEnumStartClipLines(PATHOBJ* ppo, CLIPOBJ* pco, SURFOBJ* pso,
                                            LINEATTRS* pla) {
    std::vector<PathLine> lines;
    LineStyle style;
    std::vector<RECTL> rects;
    std::vector<ClipLineRecord> records;
    const bool bOk = path_lines(ppo, lines) && style.open(pla) && pso != nullptr &&
                     clip_rects(pco, surface_rect(pso), CD_RIGHTDOWN, rects);
    if (bOk) {
        std::int64_t pos = style.position(pla->elStyleState.l);
        for (const PathLine& l : lines) {
            if (l.bResetStyle) pos = 0;
            const CosmeticLine line(l.a.x, l.a.y, l.b.x, l.b.y);
            ClipLineRecord rec{l.a, l.b, style.clipline_state(pos), runs_inside(line, rects)};
            pos += line.count();
            if (!rec.runs.empty()) records.push_back(std::move(rec));
        }
    }
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Path* p = find_path_locked(ppo);
    if (p == nullptr) return;
    p->cliplines = std::move(records);
    p->iLine = 0;
    p->iRun = 0;
}

extern "C" BOOL PATHOBJ_bEnumClipLines(PATHOBJ* ppo, ULONG cb, CLIPLINE* pcl) {
    if (pcl == nullptr || cb < offsetof(CLIPLINE, arun)) return FALSE;
    pcl->c = 0;
    const size_t room = (cb - offsetof(CLIPLINE, arun)) / sizeof(RUN);
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Path* p = find_path_locked(ppo);
    if (p == nullptr || room == 0 || p->iLine >= p->cliplines.size()) return FALSE;
    const ClipLineRecord& rec = p->cliplines[p->iLine];
    pcl->ptfxA = rec.a;
    pcl->ptfxB = rec.b;
    pcl->lStyleState = rec.lStyleState;
    const size_t n = std::min(room, rec.runs.size() - p->iRun);
    std::copy_n(rec.runs.begin() + static_cast<std::ptrdiff_t>(p->iRun), n, pcl->arun);
    pcl->c = static_cast<ULONG>(n);
    p->iRun += n;
    if (p->iRun == rec.runs.size()) {
        ++p->iLine;
        p->iRun = 0;
    }
    return p->iLine < p->cliplines.size() ? TRUE : FALSE;
}
