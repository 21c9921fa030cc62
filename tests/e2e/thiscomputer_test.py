#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""This Computer for Claude, read through the accessibility tree: with transcripts written into
the session's home, the "Tokens" and "API value" tiles must say what `tallyvue-cli local --json`
counts and prices for the same transcripts."""
import json
import os
from datetime import datetime, timedelta, timezone
from decimal import ROUND_HALF_UP, Decimal

from tallyvue_session import check, run


def short_count(n):
    """The tiles' short token count in the range the written transcripts reach: 171K."""
    check(10000 <= n < 1000000, f"the transcripts hold {n} tokens, outside the 10K-1M range read here")
    return f"{n // 1000}K"


def approximate_cost(usd):
    """The tile's value below $10, rounded half up to the cent: "≈ $0.42"."""
    cents = int(Decimal(repr(usd)).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP) * 100)
    check(0 < cents < 1000, f"the transcripts cost ${usd}, outside the cents read here")
    return f"≈ ${cents // 100}.{cents % 100:02d}"


def write_transcripts(home):
    """Two projects of Claude Code requests in the last half hour, one Codex-free week."""
    now = datetime.now(timezone.utc)
    for project, count in (("shop", 14), ("notes", 9)):
        folder = os.path.join(home, ".claude", "projects", "-home-me-" + project)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "session.jsonl"), "w") as transcript:
            for i in range(count):
                at = (now - timedelta(minutes=30) + timedelta(seconds=60 * i)).isoformat(timespec="milliseconds")
                usage = {"input_tokens": 1200 + 37 * i, "cache_creation_input_tokens": 800 + i,
                         "cache_read_input_tokens": 5100 + 11 * i, "output_tokens": 310 + 3 * i}
                row = {"cwd": "/home/me/" + project, "type": "assistant", "timestamp": at.replace("+00:00", "Z"),
                       "message": {"id": f"msg_{project}_{i}", "model": "claude-sonnet-4-5-20250929", "usage": usage}}
                transcript.write(json.dumps(row, separators=(",", ":")) + "\n")


def cli_local(session):
    """Claude's tokens and cost as `tallyvue-cli local --json` gives them (only Claude wrote)."""
    local = json.loads(session.cli("local", "--json"))
    tokens = sum(row["inputTokens"] + row["outputTokens"] + row["cacheCreationTokens"] + row["cacheReadTokens"]
                 for row in local["daily"] if row["provider"] == "Claude")
    return tokens, local["costUSD"]


def scenario(session):
    write_transcripts(session.home)
    session.start_tallyvue()
    session.wait_for_refresh()
    expected, cost = cli_local(session)
    check(expected > 0, "the CLI found no Claude usage in the written transcripts")
    check(cost > 0, f"the CLI priced the written transcripts at {cost}")

    session.activate_item()
    # The panel itself: the first node named after the program (its role depends on the shell).
    popover = session.find(name="Tallyvue", showing=True)
    session.find(popover, name="This Computer", showing=True)
    tile = session.find(popover, name=lambda n: n.startswith("Tokens, "), showing=True)
    shown = tile.name.split(", ")[1]
    check(shown == short_count(expected),
          f"the Tokens tile reads {tile.name!r}; tallyvue-cli counts {expected} ({short_count(expected)})")
    session.find(popover, name=lambda n: n.startswith("Requests, 23,"), showing=True)
    value = session.find(popover, name=lambda n: n.startswith("API value, "), showing=True)
    check(value.name == f"API value, {approximate_cost(cost)}, at list prices",
          f"the API value tile reads {value.name!r}; tallyvue-cli prices the same requests at {cost}")


if __name__ == "__main__":
    run(scenario, settings={"selectedPage": "Claude", "selectedTab": "This Mac"}, start=False)
