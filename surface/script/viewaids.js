    // ---- view aids -------------------------------------------------------------------

    // Comments and line breaks have no box a style sheet could mark, so their
    // glyphs are drawn in a layer of our own outside the body; it never
    // reaches the HTML read back and its changes are not edits.
    let aidLayer = null;
    let detailsOn = false;
    const AID_LIMIT = 2000;

    // Where a comment stands in the page. It has no box of its own, and a
    // range collapsed between two nodes has no rectangle either: the end of
    // what comes before it is taken, else the start of what follows it,
    // else its parent's corner.
    function commentPoint(c) {
        const r = document.createRange();
        const edge = (n, atEnd) => {
            let block = false;
            if (n.nodeType === Node.TEXT_NODE && n.data.length) {
                const i = atEnd ? n.data.length - 1 : 0;
                r.setStart(n, i);
                r.setEnd(n, i + 1);
            } else if (n.nodeType === Node.ELEMENT_NODE && !ours.has(n)) {
                r.selectNode(n);
                block = !getComputedStyle(n).display.startsWith('inline');
            } else {
                return null;
            }
            const rects = [...r.getClientRects()].filter((b) => b.width || b.height);
            if (!rects.length)
                return null; // white space the layout dropped, or nothing shown
            const b = atEnd ? rects[rects.length - 1] : rects[0];
            if (!atEnd)
                return {x: b.left, y: b.top};
            return block ? {x: b.left, y: b.bottom} : {x: b.right, y: b.top};
        };
        for (let n = c.previousSibling; n; n = n.previousSibling) {
            const at = edge(n, true);
            if (at) return at;
        }
        for (let n = c.nextSibling; n; n = n.nextSibling) {
            const at = edge(n, false);
            if (at) return at;
        }
        const box = (c.parentElement || document.body).getBoundingClientRect();
        return {x: box.left, y: box.top};
    }

    function drawDetails() {
        withQuiet(() => {
            if (!detailsOn) {
                if (aidLayer) aidLayer.remove();
                aidLayer = null;
                return;
            }
            if (!aidLayer || !aidLayer.isConnected) {
                aidLayer = document.createElement('qk-view-aids');
                ours.add(aidLayer);
                aidLayer.setAttribute('style', 'position:absolute;left:0;top:0;width:0;height:0;' +
                                      'pointer-events:none;z-index:2147483647');
                document.documentElement.appendChild(aidLayer);
            }
            aidLayer.textContent = '';
            if (!document.body)
                return;
            const sx = window.scrollX, sy = window.scrollY;
            const mark = (x, y, glyph) => {
                const m = document.createElement('span');
                m.textContent = glyph;
                m.setAttribute('style', 'position:absolute;left:' + (x + sx) + 'px;top:' + (y + sy) + 'px;' +
                               'font:bold 10px sans-serif;color:#5c3566;background:#fce94f;border:1px solid #c4a000;' +
                               'padding:0 1px;line-height:11px;white-space:nowrap');
                aidLayer.appendChild(m);
            };
            let count = 0;
            for (const br of document.body.querySelectorAll('br')) {
                if (++count > AID_LIMIT) break;
                const r = br.getBoundingClientRect();
                mark(r.left + 2, r.top, '↵');
            }
            const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_COMMENT);
            let c;
            while ((c = walker.nextNode()) && ++count <= AID_LIMIT) {
                const at = commentPoint(c);
                mark(at.x, at.y, '!--');
            }
        });
    }

    function withoutAids(root) {
        for (const layer of root.querySelectorAll('qk-view-aids, qk-handles, base[data-quillon-kiv]'))
            layer.remove();
    }

    let aidSheet = null;
    qk.setViewAids = function (borders, details) {
        detailsOn = !!details;
        drawDetails();
        let css = '';
        if (borders)
            css += 'table:not([border]), table[border="0"], table:not([border]) td, table:not([border]) th,' +
                   ' table[border="0"] td, table[border="0"] th, div, p, form { outline: 1px dotted #8c8c8c; }\n';
        if (details)
            css += 'script, style, noscript { display: inline-block !important; width: 1.4em; height: 1.1em;' +
                   ' overflow: hidden; font-size: 0 !important; vertical-align: middle;' +
                   ' background: #fce94f; border: 1px solid #c4a000; }\n' +
                   'script::before { content: "S"; font: bold 11px sans-serif; color: #5c3566; }\n' +
                   'style::before { content: "C"; font: bold 11px sans-serif; color: #5c3566; }\n' +
                   'a[name]:not([href])::before { content: "\u2693"; color: #204a87; font-size: 11px; }\n';
        if (!aidSheet)
            aidSheet = new CSSStyleSheet();
        aidSheet.replaceSync(css);
        if (!document.adoptedStyleSheets.includes(aidSheet))
            document.adoptedStyleSheets = [...document.adoptedStyleSheets, aidSheet];
        return true;
    };
