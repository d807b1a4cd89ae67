# Two commands for users; both install what is missing first.
#   make test   build everything (Linux tool, Windows DLL) and run every test
#   make demo   build only the tessaline command, export the example scene and inspect the result
# and one for releases:
#   make dist   the Windows zip, the Debian package and their SHA256SUMS in dist/
.PHONY: test demo dist setup build build-linux build-windows clean

TESSALINE := build/linux/cli/tessaline

setup:
	@scripts/setup

build-linux: setup
	cmake --preset linux -DBUILD_TESTING=ON -DTESSALINE_BENCH=ON >/dev/null
	cmake --build --preset linux

build-windows: setup build-linux
	cmake --preset windows >/dev/null
	cmake --build --preset windows

build: build-linux build-windows

test: build
	ctest --preset linux -j2
	ctest --preset windows

# The demo needs neither the test frameworks nor the cross compiler: a first build of it leaves the tests
# and benchmarks out (a later `make test` turns them on in the same build folder).
demo:
	@scripts/setup command
	@if [ -f build/linux/CMakeCache.txt ]; then cmake --preset linux >/dev/null; \
	 else cmake --preset linux -DBUILD_TESTING=OFF -DTESSALINE_BENCH=OFF >/dev/null; fi
	@cmake --build --preset linux --target tessaline
	@rm -rf demo-out && mkdir -p demo-out
	@echo
	$(TESSALINE) export examples/room.dxs -o demo-out/room.dbo --install-dir examples \
		--scene-name DemoRoom --collision one --collision-file "" --preview demo-out/room.png
	@echo
	$(TESSALINE) inspect demo-out/room.dbo
	@echo
	@echo "Demo output in demo-out/:"
	@find demo-out -type f | sort

# The release files need only the command, the DLL and tessaline.exe: a first build leaves the tests and
# benchmarks out, as for the demo.
dist: setup
	@if [ -f build/linux/CMakeCache.txt ]; then cmake --preset linux >/dev/null; \
	 else cmake --preset linux -DBUILD_TESTING=OFF -DTESSALINE_BENCH=OFF >/dev/null; fi
	cmake --build --preset linux --target tessaline
	@if [ -f build/windows/CMakeCache.txt ]; then cmake --preset windows >/dev/null; \
	 else cmake --preset windows -DBUILD_TESTING=OFF >/dev/null; fi
	cmake --build --preset windows --target tessaline_dll tessaline
	scripts/dist

clean:
	rm -rf build demo-out dist
