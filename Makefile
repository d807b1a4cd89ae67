# Two commands for users; both install what is missing first.
#   make test   build everything (Linux tool, Windows DLL) and run every test
#   make demo   export the example scene and inspect the result
.PHONY: test demo setup build build-linux build-windows clean

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
		--scene-name DemoRoom --collision one --collision-file "" --preview demo-out/room.png
	$(TESSALINE) inspect demo-out/room.dbo
	$(TESSALINE) inspect demo-out/room_col.dbo | tail -n 4
	@echo
	@echo "Demo output in demo-out/:"
	@find demo-out -type f | sort

clean:
	rm -rf build demo-out
