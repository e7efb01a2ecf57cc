#!/usr/bin/python3
"""rpmlint, judging a build recipe named *.rpm-recipe too.

rpmlint takes a recipe only by the file extension RPM's tools give one, so
this runs rpmlint itself, with a recipe of this name read as rpmlint reads
that. Usage, as rpmlint's: lint-rpm.py [-c CONFIG] FILE...
"""
import sys

from rpmlint.cli import process_lint_args
from rpmlint.lint import Lint
from rpmlint.pkg import FakePkg

RECIPE = '.rpm-recipe'


class RecipeLint(Lint):
    def _expand_filelist(self, files):
        files = list(files)  # a folder's files come as an iterator
        recipes = [f for f in files if f.is_file() and f.suffix == RECIPE]
        return recipes + super()._expand_filelist(f for f in files if f not in recipes)

    def validate_file(self, pname, is_last):
        if pname.suffix != RECIPE:
            super().validate_file(pname, is_last)
            return
        with FakePkg(pname) as pkg:
            self.run_checks(pkg, is_last)


if __name__ == '__main__':
    sys.exit(RecipeLint(process_lint_args(sys.argv[1:])).run())
