"""Finding and checking the library: errors a user meets before any session."""
import os

import corvo
import pytest
from corvo import library

from conftest import run_python


def test_missing_library_names_where_it_looked_and_the_override() -> None:
    missing = "/nonexistent/Libraries/libCorvoStreaming_DLL.so"
    run = run_python("import corvo\ntry:\n    corvo.library_version()\n"
                     "except corvo.LibraryError as error:\n    print(error)\n    raise SystemExit(3)",
                     CORVO_LIBRARY=missing)
    assert run.returncode == 3, run.stderr
    assert missing in run.stdout
    assert "CORVO_LIBRARY" in run.stdout


def test_without_override_the_package_and_the_system_loader_are_searched() -> None:
    run = run_python("import corvo\ntry:\n    corvo.library_version()\n"
                     "except corvo.LibraryError as error:\n    print(error)\n    raise SystemExit(3)",
                     CORVO_LIBRARY=None, LD_LIBRARY_PATH=None)
    if run.returncode == 0:
        pytest.skip("a library is installed in the package or system-wide")
    assert run.returncode == 3, run.stderr
    assert "corvo/lib/libCorvoStreaming_DLL.so.1" in run.stdout
    assert "system loader" in run.stdout


def test_loaded_library_matches_the_package_version() -> None:
    assert corvo.library_version() == corvo.__version__
    assert os.path.samefile(corvo.loaded_path(), os.environ["CORVO_LIBRARY"])


@pytest.mark.parametrize("found", ["0.9.0", "2.0.0", "1.0.9", "1.x"])
def test_other_versions_are_refused(found: str) -> None:
    with pytest.raises(corvo.LibraryError, match="version"):
        library.check_version(found, "1.1.0")


@pytest.mark.parametrize("found", ["1.1.0", "1.1.3", "1.4.0"])
def test_compatible_versions_are_accepted(found: str) -> None:
    library.check_version(found, "1.1.0")
