# Two commands for users; both install what is missing first.
#   make test   build everything (Linux tool, Windows DLL) and run every test
#   make demo   export the example scene and inspect the result
# and one for releases:
#   make dist   the Windows zip, the Debian package and their SHA256SUMS in dist/
.PHONY: test demo dist setup build build-linux build-windows clean

TESSALINE := build/linux/cli/tessaline

setup:
	@scripts/setup

build-linux: setup
	cmake --preset linux >/dev/null
	cmake --build --preset linux

build-windows: setup build-linux
	cmake --preset windows >/dev/null
	cmake --build --preset windows

build: build-linux build-windows

test: build
	ctest --preset linux -j2
	ctest --preset windows

demo: build-linux
	rm -rf demo-out && mkdir -p demo-out
	$(TESSALINE) export examples/room.dxs -o demo-out/room.dbo --install-dir examples \
		--scene-name DemoRoom --collision one --collision-file ""
	$(TESSALINE) inspect demo-out/room.dbo
	$(TESSALINE) inspect demo-out/room_col.dbo | tail -n 4
	@echo
	@echo "Demo output in demo-out/:"
	@find demo-out -type f | sort

dist: setup
	cmake --preset linux >/dev/null
	cmake --build --preset linux --target tessaline
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target tessaline_dll tessaline
	scripts/dist

clean:
	rm -rf build demo-out dist
