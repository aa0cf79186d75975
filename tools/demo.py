"""The main job: import lumivar_chip8 and show what it offers."""

import json

import lumivar_chip8


def main() -> None:
    descriptor = json.loads(lumivar_chip8.bundle_provider())
    print("lumivar_chip8 bundle descriptor:")
    for key, value in descriptor.items():
        print(f"  {key}: {value}")


if __name__ == "__main__":
    main()
