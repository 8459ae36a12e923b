#!/usr/bin/env python3
"""Setup files for timing markwell-cli: the sample class and generated classes of any size.

    python3 scripts/lib/bench_setup.py sample > sample.txt
    python3 scripts/lib/bench_setup.py 60 500 > class.txt      # 60 tests, 500 students
    python3 scripts/lib/bench_setup.py 60 500 small > class.txt  # the same with points of 0 to 3

A generated class is the same for the same size on every machine: names, six-digit student IDs,
tests of different possible points, and points from 0 up to each test's possible points.
"""

import random
import sys

# The class "Load Sample/Example Data" makes (src/setup/SampleData.cpp), with the points the
# sample student gets once the Test: list holds the two tests.
SAMPLE = {
    "txtName": "Harold Winslow",
    "txtTeachName": "Mrs. Hartley",
    "txtProject": "Elementary",
    "txtYSQ": "2016",
    "Tests": "Mathematics^80|History^70",
    "Students": "Thomas Ellery^E16-28^50^50",
}

MAX_TESTS = 250
MAX_STUDENTS = 32767

GIVEN = [
    "Ada", "Amir", "Bea", "Carlos", "Chen", "Dana", "Elif", "Emma", "Farah", "Felix", "Grace", "Hana",
    "Ian", "Ines", "Jamal", "Jonas", "Kai", "Lena", "Liam", "Maya", "Mateo", "Nia", "Noah", "Olga",
    "Omar", "Priya", "Quinn", "Rosa", "Sam", "Sofia", "Tariq", "Uma", "Vera", "Wen", "Yara", "Zoe",
]
FAMILY = [
    "Abbott", "Brook", "Castillo", "Dubois", "Ellery", "Fischer", "Garcia", "Haddad", "Ito", "Jensen",
    "Kowalski", "Lindqvist", "Moreau", "Nakamura", "Okafor", "Petrov", "Quint", "Rossi", "Schmidt",
    "Tanaka", "Umar", "Vargas", "Weber", "Xu", "Yilmaz", "Zimmer",
]
# Kinds of tests with the possible points each may have.
KINDS = [
    ("Quiz", [10, 20]),
    ("Homework", [10, 25]),
    ("Lab", [20, 30]),
    ("Essay", [50]),
    ("Project", [100]),
    ("Midterm", [100, 150]),
]


def generated(tests, students, small=False):
    """The setup of a class with `tests` tests and `students` students, as key/value pairs. With
    `small`, every point is a whole 0 to 3: few distinct values, repeated over and over."""
    if not 0 <= tests <= MAX_TESTS or not 0 <= students <= MAX_STUDENTS:
        raise ValueError(f"a class has 0 to {MAX_TESTS} tests and 0 to {MAX_STUDENTS} students")
    rng = random.Random(tests * 100003 + students)
    numbers = {}
    test_rows = []
    possible = []
    for t in range(tests):
        kind, points = KINDS[t % len(KINDS)] if t + 1 < tests or tests == 1 else ("Final exam", [200])
        numbers[kind] = numbers.get(kind, 0) + 1
        name = kind if kind == "Final exam" else f"{kind} {numbers[kind]}"
        possible.append(rng.choice(points))
        test_rows.append(f"{name}^{possible[-1]}")
    ids = rng.sample(range(100000, 1000000), students)
    student_rows = []
    for s in range(students):
        name = f"{rng.choice(GIVEN)} {rng.choice(FAMILY)}"
        fields = [name, str(ids[s])]
        for p in possible:
            # Mostly whole points; now and then a half point.
            half = not small and rng.random() < 0.05
            value = rng.randint(0, 2 * p) / 2 if half else rng.randint(0, 3 if small else p)
            fields.append(f"{value:g}")
        student_rows.append("^".join(fields))
    return {
        "txtName": "Lincoln High School",
        "txtTeachName": "Ms. Rivera",
        "txtProject": f"Algebra ({tests} tests, {students} students)",
        "txtYSQ": "2026 Fall",
        "Tests": "|".join(test_rows),
        "Students": "|".join(student_rows),
    }


def setup_text(values):
    return "".join(f"{key}={value}\n" for key, value in values.items())


def write_setup(path, size):
    """Writes the setup of `size` ("sample", or (tests, students) with an optional third part
    "small" for points of 0 to 3) to `path`."""
    values = SAMPLE if size == "sample" else generated(size[0], size[1], len(size) > 2)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(setup_text(values))


def main(argv):
    if argv == ["sample"]:
        sys.stdout.write(setup_text(SAMPLE))
        return 0
    small = argv[2:] == ["small"]
    if (len(argv) == 2 or small) and all(a.isdigit() for a in argv[:2]):
        try:
            sys.stdout.write(setup_text(generated(int(argv[0]), int(argv[1]), small)))
        except ValueError as e:
            sys.stderr.write(f"bench_setup.py: {e}\n")
            return 2
        return 0
    sys.stderr.write("usage: bench_setup.py sample | bench_setup.py TESTS STUDENTS [small]\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
