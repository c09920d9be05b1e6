#include "replay/Fit.h"

#include "support/StationChips.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace station {

namespace {

// Solves the normal equations of a small least-squares problem by Gaussian
// elimination with pivoting; false when they are singular.
bool solve(std::vector<std::vector<double>> a, std::vector<double> b, std::vector<double>* x) {
    const size_t n = b.size();
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-9)
            return false;
        std::swap(a[pivot], a[col]);
        std::swap(b[pivot], b[col]);
        for (size_t r = col + 1; r < n; ++r) {
            double f = a[r][col] / a[col][col];
            for (size_t c = col; c < n; ++c)
                a[r][c] -= f * a[col][c];
            b[r] -= f * b[col];
        }
    }
    x->assign(n, 0);
    for (size_t i = n; i-- > 0;) {
        double s = b[i];
        for (size_t c = i + 1; c < n; ++c)
            s -= a[i][c] * (*x)[c];
        (*x)[i] = s / a[i][i];
    }
    return true;
}

} // namespace

CrystalFit FitCrystal(sim::Chip chip, const std::vector<PferPoint>& points, double poorFitHz) {
    CrystalFit fit;
    const sim::CrystalParams nominal = sim::NominalCrystal(chip);
    fit.crystal = nominal;
    fit.crystal.noiseHz = 0;
    fit.points = static_cast<int>(points.size());

    std::set<int> cdacs, cafcs;
    for (const PferPoint& p : points) {
        cdacs.insert(p.cdac);
        cafcs.insert(p.cafc);
    }
    fit.stepFitted = cdacs.size() >= 2;
    fit.curvatureFitted = cafcs.size() >= 3;
    const bool stepNeeded = JudgesCdac(Row(chip));
    if (cafcs.size() < 2 || (stepNeeded && !fit.stepFitted))
        return fit;

    // Terms in scaled units (8 CDAC codes, 1000 CAFC codes) so that the
    // normal equations stay well conditioned; absent terms use the nominal.
    enum Term { Offset, Step, Slope, Curve };
    std::vector<Term> terms = {Offset, Slope};
    if (fit.stepFitted)
        terms.push_back(Step);
    if (fit.curvatureFitted)
        terms.push_back(Curve);
    auto column = [&](Term t, const PferPoint& p) {
        double dc = (p.cdac - nominal.cdacRef) / 8.0;
        double da = (p.cafc - nominal.cafcRef) / 1000.0;
        switch (t) {
        case Offset:
            return 1.0;
        case Step:
            return dc;
        case Slope:
            return da;
        case Curve:
            return da * da;
        }
        return 0.0;
    };
    auto fixedPart = [&](const PferPoint& p) {
        double dc = p.cdac - nominal.cdacRef;
        double da = p.cafc - nominal.cafcRef;
        return (fit.stepFitted ? 0.0 : nominal.cdacStepHz * dc) +
               (fit.curvatureFitted ? 0.0 : nominal.curvature * da * da);
    };

    const size_t k = terms.size();
    std::vector<std::vector<double>> ata(k, std::vector<double>(k, 0));
    std::vector<double> atb(k, 0);
    for (const PferPoint& p : points) {
        double y = p.feHz - fixedPart(p);
        for (size_t i = 0; i < k; ++i) {
            double ci = column(terms[i], p);
            atb[i] += ci * y;
            for (size_t j = 0; j < k; ++j)
                ata[i][j] += ci * column(terms[j], p);
        }
    }
    std::vector<double> x;
    if (!solve(ata, atb, &x))
        return fit; // the points do not separate the terms
    for (size_t i = 0; i < k; ++i) {
        switch (terms[i]) {
        case Offset:
            fit.crystal.offsetHz = x[i];
            break;
        case Step:
            fit.crystal.cdacStepHz = x[i] / 8.0;
            break;
        case Slope:
            fit.crystal.cafcSlopeHz = x[i] / 1000.0;
            break;
        case Curve:
            fit.crystal.curvature = x[i] / 1e6;
            break;
        }
    }
    double ssr = 0;
    for (const PferPoint& p : points) {
        double model = fixedPart(p);
        for (size_t i = 0; i < k; ++i)
            model += x[i] * column(terms[i], p);
        ssr += (p.feHz - model) * (p.feHz - model);
    }
    fit.freedom = fit.points - static_cast<int>(k);
    fit.residualHz = fit.freedom > 0 ? std::sqrt(ssr / fit.freedom) : 0.0;
    fit.status = fit.residualHz > poorFitHz ? CrystalFit::PoorFit : CrystalFit::Fitted;
    return fit;
}

} // namespace station
