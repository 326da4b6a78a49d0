#include "common/matrix4.h"

namespace zephrin {

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return r;
}

namespace {

double minor3(const Matrix4& m, int skipRow, int skipCol) {
    double s[3][3];
    for (int i = 0, si = 0; i < 4; ++i) {
        if (i == skipRow) continue;
        for (int j = 0, sj = 0; j < 4; ++j) {
            if (j == skipCol) continue;
            s[si][sj++] = m.m[i][j];
        }
        ++si;
    }
    return s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) - s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
           s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
}

}  // namespace

Matrix4 invert(const Matrix4& m) {
    Matrix4 adjugate;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sign = ((i + j) % 2 == 0) ? 1.0 : -1.0;
            // The adjugate is the transpose of the cofactor matrix.
            adjugate.m[j][i] = sign * minor3(m, i, j);
        }
    }
    double det = 0.0;
    for (int j = 0; j < 4; ++j) det += m.m[0][j] * adjugate.m[j][0];
    if (det == 0.0) return adjugate;
    double inv = 1.0 / det;
    for (auto& row : adjugate.m)
        for (double& v : row) v *= inv;
    return adjugate;
}

}  // namespace zephrin
