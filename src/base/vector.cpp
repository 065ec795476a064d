// Vector length and normalisation, and the matrix operations, each float step written out.
#include "base/vector.h"

#include <cmath>

float vector::length() const
{
    return (float)std::sqrt((double)((x * x + y * y) + z * z));
}

double length(dvector a) { return std::sqrt(dot(a, a)); }

void vector::normalize()
{
    float l = length();
    x = x / l;
    y = y / l;
    z = z / l;
}

matrix::matrix() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0} {}

matrix::matrix(float a0, float a1, float a2, float a3, float a4, float a5,
               float a6, float a7, float a8, float a9, float a10, float a11)
    : m{a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11} {}

void matrix::set(float a0, float a1, float a2, float a3, float a4, float a5,
                 float a6, float a7, float a8, float a9, float a10, float a11)
{
    *this = matrix(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11);
}

void matrix::translate(vector v)
{
    for (int i = 0; i < 3; ++i)
        m[4 * i + 3] = ((m[4 * i] * v.x + m[4 * i + 1] * v.y) + m[4 * i + 2] * v.z) + m[4 * i + 3];
}

// Rodrigues' formula, R = (I + K s) + (K K) q, from this type's own operations.
void matrix::rotate(float angle, vector axis)
{
    axis.normalize();
    const float ax = axis.x, ay = axis.y, az = axis.z;
    matrix k(  0, -az,  ay, 0,
              az,   0, -ax, 0,
             -ay,  ax,   0, 0);
    matrix identity;
    float q = (float)(1.0 - std::cos((double)angle));
    float s = (float)std::sin((double)angle);
    matrix r = (identity + k * s) + (k * k) * q;
    *this = *this * r;
}

matrix matrix::operator*(matrix b) const
{
    matrix p;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = (m[4 * i] * b.m[j] + m[4 * i + 1] * b.m[4 + j]) + m[4 * i + 2] * b.m[8 + j];
            p.m[4 * i + j] = j == 3 ? sum + m[4 * i + 3] : sum;
        }
    return p;
}

matrix matrix::operator*(float s) const
{
    matrix p;
    for (int i = 0; i < 12; ++i) p.m[i] = m[i] * s;
    return p;
}

matrix matrix::operator+(matrix b) const
{
    matrix p;
    for (int i = 0; i < 12; ++i) p.m[i] = m[i] + b.m[i];
    return p;
}

void matrix::operator=(float s)
{
    *this = matrix(s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0);
}
