// Three-component vectors and affine matrices: every position, direction and
// the view transform of the viewer. Plain values; nothing here allocates.
#ifndef STARHOP_VECTOR_H
#define STARHOP_VECTOR_H

class vector {
public:
    float x, y, z;

    vector() : x(0), y(0), z(0) {}
    vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    vector operator+(vector b) const { return vector(x + b.x, y + b.y, z + b.z); }
    vector operator-(vector b) const { return vector(x - b.x, y - b.y, z - b.z); }
    vector operator*(float s)  const { return vector(s * x, s * y, s * z); }
    vector operator-()         const { return *this * -1.0f; }
    vector operator&(vector b) const { return vector(y * b.z - z * b.y,   // cross product,
                                                     z * b.x - x * b.z,   // *this on the left
                                                     x * b.y - y * b.x); }
    // Both return a copy of the new value, not a reference to the object.
    vector operator+=(vector b) { *this = *this + b; return *this; }
    vector operator-=(vector b) { *this = *this - b; return *this; }

    float length() const;
    // Divides by the length; a zero vector becomes not-a-number.
    void normalize();
};

// A vector in double precision, for the steps that must not round to float
// on the way: a float vector widens exactly, and narrows back component by
// component. The arithmetic is written out in one order, so results are exact
// to the bit wherever it is used.
struct dvector {
    double x, y, z;

    dvector(vector v) : x((double)v.x), y((double)v.y), z((double)v.z) {}
    dvector(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    dvector operator+(dvector b) const { return dvector(x + b.x, y + b.y, z + b.z); }
    dvector operator*(double s)  const { return dvector(s * x, s * y, s * z); }
    operator vector() const { return vector((float)x, (float)y, (float)z); }
};

inline double  dot(dvector a, dvector b)   { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline dvector cross(dvector a, dvector b) { return dvector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
double length(dvector a);                          // the square root of dot(a, a)

// An affine transform: a 3 by 3 linear part and a translation column, twelve
// floats row by row (element (i, j) at 4 * i + j). Points are column vectors
// on the right. translate and rotate compose on the right: M becomes M * X.
class matrix {
public:
    float m[12];

    matrix();                                      // the identity
    matrix(float a0, float a1, float a2, float a3, float a4, float a5,
           float a6, float a7, float a8, float a9, float a10, float a11);
    void set(float a0, float a1, float a2, float a3, float a4, float a5,
             float a6, float a7, float a8, float a9, float a10, float a11);

    void translate(vector v);                      // by v taken as a point
    void rotate(float angle, vector axis);         // right-handed, radians

    vector operator*(vector p) const;              // p is a point: picks up the translation
    matrix operator*(matrix b) const;              // b applies first, then *this
    matrix operator*(float s) const;               // all twelve, translation included
    matrix operator+(matrix b) const;
    void operator=(float s);                       // s times the identity
};

inline vector matrix::operator*(vector p) const
{
    return vector(((m[0] * p.x + m[1] * p.y) + m[2]  * p.z) + m[3],
                  ((m[4] * p.x + m[5] * p.y) + m[6]  * p.z) + m[7],
                  ((m[8] * p.x + m[9] * p.y) + m[10] * p.z) + m[11]);
}

#endif
